// The framework's exception classes and its handling of uncaught exceptions.
#pragma once
#include <exception>
#include <functional>
#include <string>

namespace fw {

class RuntimeException : public std::exception {
public:
    explicit RuntimeException(std::string message = {}) : message_(std::move(message)) {}
    virtual const char* ClassName() const { return "RuntimeException"; }
    const std::string& Message() const { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

class NilObjectException : public RuntimeException {
public:
    NilObjectException() : RuntimeException("Nil object used") {}
    const char* ClassName() const override { return "NilObjectException"; }
};

// ErrorNumber is the errno-style code of the failed operation.
class IOException : public RuntimeException {
public:
    IOException(int errorNumber, std::string message)
        : RuntimeException(std::move(message)), errorNumber_(errorNumber) {}
    const char* ClassName() const override { return "IOException"; }
    int ErrorNumber() const { return errorNumber_; }

private:
    int errorNumber_;
};

class OutOfBoundsException : public RuntimeException {
public:
    using RuntimeException::RuntimeException;
    const char* ClassName() const override { return "OutOfBoundsException"; }
};

// Reports an exception that escaped an event, a timer's Action or a thread:
// stderr, plus a non-blocking message box when a GUI is up. The program keeps running.
void ReportUncaught(const std::exception& e, const std::string& where);
void ReportUncaughtUnknown(const std::string& where);

// Runs fn; any exception that escapes goes to ReportUncaught with `where`.
// Returns false when an exception escaped.
bool Guarded(const std::string& where, const std::function<void()>& fn);

// Tests capture reports instead of showing boxes: (class name, message, where).
using UncaughtHook = std::function<void(const std::string&, const std::string&, const std::string&)>;
void SetUncaughtHook(UncaughtHook hook);

}  // namespace fw
