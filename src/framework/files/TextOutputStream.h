#pragma once
// TextOutputStream: writes lines of text to a file that appears only once it is complete.
// The lines go to a hidden temporary file beside the target; Close flushes, syncs and then
// renames it onto the target in one step. Until then, and whenever anything fails, an earlier
// file of the target's name stays exactly as it was and the temporary file is removed again,
// so a full disk or an abandoned export never leaves a truncated list behind.
#include "framework/runtime/ClassTable.h"
#include "framework/runtime/Ref.h"
#include "framework/runtime/String.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <initializer_list>
#include <string_view>
#include <string>

namespace fw {

class SyncThread;

class TextOutputStream : public Object {
    FW_DECLARE_CLASS()
public:
    // A stream for the file `name` inside the folder open as `folderFd`. The stream takes the
    // descriptor over and closes it, also when this raises IOException.
    // FolderItem::CreateTextFile is the usual way in.
    static Ref<TextOutputStream> CreateInFolder(int folderFd, const String& name);

    ~TextOutputStream() override; // without Close: the temporary file goes, the target stays

    // The text's bytes as they are, then "\n".
    void WriteLine(const String& text) { WriteLine(text.view()); }
    void WriteLine(const char* text) { WriteLine(std::string_view(text)); }
    void WriteLine(std::string_view text);
    // Writes the fields as one line, the separator between each two: the same as joining them
    // first and writing the joined text, without making the joined text.
    void WriteLine(std::initializer_list<std::string_view> fields, char separator);

    // Makes the written lines the target's content. Raises IOException with the reason when
    // that fails; the earlier file is then untouched. Returns once the file is on the disk under
    // its name; the event loop keeps turning while the disk catches up.
    void Close();

private:
    enum class State : uint8_t { Open, Closed, Failed };

    TextOutputStream(int folderFd, String name, std::string tempName, int fd);

    void Append(const char* bytes, size_t count);
    void Flush();
    void WriteOut(const char* bytes, size_t count);
    [[noreturn]] void Fail(const char* action, int error);
    void Discard();
    void CheckOpen() const;

    int folderFd_;
    int fd_;
    String name_;
    std::string tempName_;
    State state_ = State::Open;
    std::string failure_; // the message of the first failure, repeated to later calls
    std::unique_ptr<char[]> buffer_;
    size_t used_ = 0;
    size_t written_ = 0; // bytes handed to the system so far
    size_t started_ = 0; // of those, bytes whose writing to disk has been started
    static constexpr size_t kWritebackChunk = size_t(8) << 20;
    std::unique_ptr<SyncThread> sync_; // where the calls that wait on the disk are made
};

} // namespace fw
