#pragma once
// Errors that travel up to a caller's error trap (the windows report them
// with their own messages). Everything the program raises derives from AppError.
#include <stdexcept>
#include <string>

struct AppError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A separator would start a field beyond the caller's array.
struct FieldOverflowError : AppError {
    FieldOverflowError() : AppError("Subscript out of range") {}
};

// A number does not fit the 16-bit (or other) integer it is converted to.
struct OverflowError : AppError {
    OverflowError() : AppError("Overflow") {}
};

// A response line grew beyond the receive cap without an LF.
struct LineTooLongError : AppError {
    LineTooLongError() : AppError("Response line too long") {}
};

// The instrument did not answer a query within the response time limit.
struct NoResponseError : AppError {
    NoResponseError() : AppError("No response from the instrument") {}
};

// The port's device went away while open (the link reported portLost()).
struct PortLostError : AppError {
    PortLostError() : AppError("The serial device is gone") {}
};

// A wait on the instrument was ended from outside (RS_LIB32::Link::Interrupt).
struct InterruptedError : AppError {
    InterruptedError() : AppError("Interrupted") {}
};

// Thrown when the injected process ender returns (tests only): the program
// would have ended here, so nothing after this point may run.
struct ProcessEnded : std::exception {
    int code;
    explicit ProcessEnded(int c) : code(c) {}
    const char* what() const noexcept override { return "process ended"; }
};
