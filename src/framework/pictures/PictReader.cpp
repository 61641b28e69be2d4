// The walk over a picture's opcodes. Those that carry pixels are composed on the canvas, those
// of QuickDraw's state, lines, shapes and text go to the QuickDraw state, and every other opcode
// is stepped over by the length QuickDraw documents for it, so comments and opcodes of later
// systems never derail the walk.
#include "PictFormat.h"
#include "QuickDrawState.h"

namespace fw::pictures::pict {
namespace {

// How the data of an opcode is measured, beside a fixed length.
enum Length : int {
    kSizeWord = -1,   // a region or polygon: a size word that counts itself
    kWordLength = -2, // a length word, then that many bytes
    kLongLength = -3, // a length long, then that many bytes
    kLongText = -4,   // a point, then a counted string
    kHvText = -5,     // dh or dv (a byte), then a counted string
    kHvBothText = -6, // dh and dv, then a counted string
    kLongComment = -7,
    kUnknown = -8,
};

// Lengths of the byte-sized opcodes 0x00 to 0xAF that are neither drawn nor special.
int ShortOpcodeLength(uint16_t op, bool wordOpcodes)
{
    static const int8_t kFirst[0x30] = {
        0, kSizeWord, 8, 2, 1, 2, 4, 4, 2, 8, 8, 4, 4, 2, 4, 4,                      // 0x00
        8, 1, kUnknown, kUnknown, kUnknown, 2, 2, 0, 0, 0, 6, 6, 0, 6, 0, 6,         // 0x10
        8, 4, 6, 2, kWordLength, kWordLength, kWordLength, kWordLength, kLongText,  // 0x20..0x28
        kHvText, kHvText, kHvBothText, kWordLength, kWordLength, kWordLength, kWordLength,
    };
    if (op < 0x30)
        return op == 0x11 && wordOpcodes ? 2 : kFirst[op];
    // From 0x30 on the shapes come in groups of eight: five drawing verbs and three reserved,
    // first with their own geometry, then the "same" forms without any.
    static const int8_t kGroup[10] = {8, 0, 8, 0, 8, 0, 12, 4, kSizeWord, 0};
    if (op < 0x80)
        return kGroup[(op - 0x30) / 8];
    if (op < 0x90)
        return (op - 0x80) / 8 == 0 ? kSizeWord : 0;
    if ((op >= 0x92 && op <= 0x97) || (op >= 0x9C && op <= 0x9F) || (op >= 0xA2 && op <= 0xAF))
        return kWordLength;
    if (op == 0xA0)
        return 2;
    if (op == 0xA1)
        return kLongComment;
    return kUnknown;
}

int OpcodeLength(uint16_t op, bool wordOpcodes)
{
    if (op < 0xB0)
        return ShortOpcodeLength(op, wordOpcodes);
    if (op < 0xD0)
        return 0;
    if (op < 0xFF)
        return kLongLength;
    if (op == 0x02FF)
        return 2; // the version word, where a writer puts it as an opcode of its own
    if (op < 0x8000)
        return (op >> 8) * 2;
    if (op < 0x8100)
        return 0;
    return kLongLength;
}

bool SkipCounted(Cursor& in, size_t before)
{
    in.Skip(before);
    return in.Skip(in.U8());
}

bool SkipOpcode(Cursor& in, uint16_t op, bool wordOpcodes)
{
    int length = OpcodeLength(op, wordOpcodes);
    switch (length) {
    case kSizeWord: {
        uint16_t size = in.U16();
        return size >= 2 && in.Skip(size - 2u);
    }
    case kWordLength:
        return in.Skip(in.U16());
    case kLongLength:
        return in.Skip(in.U32());
    case kLongText:
        return SkipCounted(in, 4);
    case kHvText:
        return SkipCounted(in, 1);
    case kHvBothText:
        return SkipCounted(in, 2);
    case kLongComment:
        in.Skip(2);
        return in.Skip(in.U16());
    case kUnknown:
        return false;
    default:
        return in.Skip(size_t(length));
    }
}

// One opcode and its data; false ends the walk.
bool Step(Cursor& in, uint16_t op, bool wordOpcodes, QuickDrawState& quickDraw, Canvas& canvas,
          const Budget& budget)
{
    switch (op) {
    case 0x90: case 0x91: case 0x98: case 0x99: case 0x9A: case 0x9B:
        return DrawBitsOp(in, op, canvas, budget);
    case 0x8200: case 0x8201:
        return DrawQuickTimeOp(in, op, canvas, budget);
    default:
        if (QuickDrawState::Handles(op))
            return quickDraw.Step(in, op);
        return SkipOpcode(in, op, wordOpcodes);
    }
}

} // namespace

void WalkOpcodes(Cursor& in, size_t origin, bool wordOpcodes, Canvas& canvas, const Budget& budget)
{
    QuickDrawState quickDraw(canvas);
    while (!budget.Expired()) {
        if (wordOpcodes)
            in.AlignEven(origin);
        uint16_t op = wordOpcodes ? in.U16() : in.U8();
        if (!in.Ok() || op == 0xFF || !Step(in, op, wordOpcodes, quickDraw, canvas, budget) || !in.Ok())
            return;
    }
}

} // namespace fw::pictures::pict
