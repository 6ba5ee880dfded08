// The codec's exception family: every failure of the image, the BMP reader
// and the JPEG writer is one of these classes.
#pragma once

#include <stdexcept>
#include <string>

namespace jpeg {

// Common base of every codec failure.
class EGraphicsException : public std::logic_error {
public:
    explicit EGraphicsException(const std::string& message)
        : std::logic_error(message) {}
    explicit EGraphicsException(const char* message)
        : std::logic_error(message) {}
};

// Invalid settings of the writer.
class EJpegError : public EGraphicsException {
public:
    using EGraphicsException::EGraphicsException;
};

class EJpegValueOutOfRange : public EJpegError {
public:
    EJpegValueOutOfRange()
        : EJpegError("Value out of range") {}
};

class EJpegBadOutputParameter : public EJpegError {
public:
    using EJpegError::EJpegError;
};

class EJpegIndexOutOfRange : public EJpegError {
public:
    EJpegIndexOutOfRange()
        : EJpegError("Index out of range") {}
};

// Internal-consistency failure of the writer.
class EJpegFatal : public EGraphicsException {
public:
    using EGraphicsException::EGraphicsException;
};

// The writer's progress function asked to stop.
class EJpegAbort : public EGraphicsException {
public:
    EJpegAbort()
        : EGraphicsException("JPEG Aborted") {}
};

class EBmpFileReadError : public EGraphicsException {
public:
    EBmpFileReadError()
        : EGraphicsException("Error reading BMP input file") {}
};

class EBmpNotABmpFile : public EGraphicsException {
public:
    EBmpNotABmpFile()
        : EGraphicsException("Not a Windows Bitmap stream") {}
};

class EBmpCorruptFile : public EGraphicsException {
public:
    EBmpCorruptFile()
        : EGraphicsException("Corrupt Windows Bitmap stream") {}
};

class EBmpNotSupported : public EGraphicsException {
public:
    EBmpNotSupported()
        : EGraphicsException("Unsupported Bitmap Format") {}
};

class EInvalidBitCount : public EGraphicsException {
public:
    EInvalidBitCount()
        : EGraphicsException("Invalid bit count") {}
};

class ESubscriptOutOfRange : public EGraphicsException {
public:
    ESubscriptOutOfRange()
        : EGraphicsException("Subscript out of range") {}
};

// The reader's progress function asked to stop. The base is private on
// purpose: a handler for EGraphicsException, std::logic_error or
// std::exception lets an abort pass; only this type or a catch-all stops it.
class EGraphicsAbort : private EGraphicsException {
public:
    EGraphicsAbort()
        : EGraphicsException("Abort") {}
    using EGraphicsException::what;
};

} // namespace jpeg
