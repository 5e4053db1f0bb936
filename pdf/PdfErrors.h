// The failures of the PDF writer: one exception family, so that callers catch the writer's
// errors apart from others, and so that its parts throw them without the object model.
#pragma once

#include <stdexcept>

// Plain failure of the PDF writer (the cases that are neither a bad value nor a bad operation).
class EPdfException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A value that PDF cannot hold.
class EPdfInvalidValue : public EPdfException {
public:
    using EPdfException::EPdfException;
};

// An operation called in a state that does not allow it.
class EPdfInvalidOperation : public EPdfException {
public:
    using EPdfException::EPdfException;
};
