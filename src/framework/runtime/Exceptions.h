#pragma once
// Failures travel as exceptions, each carrying a message a person can read.
#include <stdexcept>
#include <string>

namespace fw {

class RuntimeException : public std::runtime_error {
public:
    explicit RuntimeException(const std::string& message) : std::runtime_error(message) {}
    // A short name of the kind of failure, shown as the title of the error message.
    virtual const char* Kind() const { return "Error"; }
};

#define FW_EXCEPTION(Name, KindText)                                                               \
    class Name : public RuntimeException {                                                         \
    public:                                                                                        \
        using RuntimeException::RuntimeException;                                                  \
        const char* Kind() const override { return KindText; }                                     \
    };

FW_EXCEPTION(NilObjectException, "Missing object")
FW_EXCEPTION(IOException, "File error")
FW_EXCEPTION(OutOfBoundsException, "Out of bounds")
FW_EXCEPTION(IllegalCastException, "Wrong kind of object")
FW_EXCEPTION(TypeMismatchException, "Wrong kind of value")
FW_EXCEPTION(UnsupportedFormatException, "Damaged data")
FW_EXCEPTION(InvalidArgumentException, "Invalid argument")

#undef FW_EXCEPTION

// Thrown out of the background-task hook once the application is ending, so that a long loop
// unwinds at once. The event dispatch swallows it quietly: it is not a failure.
class EndOfRun {
};

} // namespace fw
