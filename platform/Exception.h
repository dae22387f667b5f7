// Error types of the run-time library. Every error the package raises or
// relays derives from Exception, which carries the message as 8-bit text in
// the host code page (GBK). One subclass per platform error the units name.
#pragma once

#include <exception>
#include <string>

#include "platform/RtlExport.h"

/// Base of every error of the libraries; what() is the message.
class QUORL_RTL_API Exception : public std::exception {
 public:
  /// Takes the message (8-bit host text).
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const noexcept { return message_; }         ///< The message.
  const char* what() const noexcept override { return message_.c_str(); }  ///< The message, as a C string.

 private:
  std::string message_;
};

/// List index out of bounds (TList and the classes built on it).
class QUORL_RTL_API EListError : public Exception {
  using Exception::Exception;
};
/// Invalid typecast: a value asked for as a kind it cannot be (variants, JSON getters).
class QUORL_RTL_API EInvalidCast : public Exception {
  using Exception::Exception;
};
/// Interface not supported by an object asked for it.
class QUORL_RTL_API EIntfCastError : public Exception {
  using Exception::Exception;
};
/// Text that does not convert to a number, date or Boolean.
class QUORL_RTL_API EConvertError : public Exception {
  using Exception::Exception;
};
/// A variant that cannot be converted to the type asked for (Null to text, text to number...).
class QUORL_RTL_API EVariantError : public EConvertError {
  using EConvertError::EConvertError;
};
/// Dataset errors: field not found, corrupt packet, operation on a closed dataset.
class QUORL_RTL_API EDatabaseError : public Exception {
  using Exception::Exception;
};
/// A file that cannot be opened, read or written.
class QUORL_RTL_API EFOpenError : public Exception {
  using Exception::Exception;
};
/// Connection failures of the HTTP client: refused, unresolved, timed out.
/// RequestSent is false only when the request surely never left (no
/// connection was made), so the server cannot have acted on it; a posting
/// that fails after that may have been charged.
class QUORL_RTL_API EIdSocketError : public Exception {
 public:
  /// requestSent: whether the request may have reached the server
  explicit EIdSocketError(std::string message, bool requestSent = true)
      : Exception(std::move(message)), requestSent_(requestSent) {}
  /// False only when the request certainly never left (no connection).
  bool RequestSent() const noexcept { return requestSent_; }

 private:
  bool requestSent_;
};
/// The HTTP server answered with an error status; the body is kept because a
/// SOAP fault travels inside an HTTP 500.
class QUORL_RTL_API EIdHTTPProtocolException : public Exception {
 public:
  /// The HTTP status and the answer's body.
  EIdHTTPProtocolException(std::string message, int errorCode, std::string errorBody)
      : Exception(std::move(message)), errorCode_(errorCode), errorBody_(std::move(errorBody)) {}
  int ErrorCode() const noexcept { return errorCode_; }                    ///< HTTP status of the answer.
  const std::string& ErrorMessage() const noexcept { return errorBody_; }  ///< Body of the answer.

 private:
  int errorCode_;
  std::string errorBody_;
};
/// A SOAP fault returned by a service: fault code and fault string.
class QUORL_RTL_API ERemotableException : public Exception {
 public:
  /// A SOAP fault's code and text.
  ERemotableException(std::string faultCode, std::string faultString)
      : Exception(faultString), faultCode_(std::move(faultCode)) {}
  const std::string& FaultCode() const noexcept { return faultCode_; }  ///< The fault's faultcode.
  /// The fault's faultstring (the message).
  const std::string& FaultString() const noexcept { return Message(); }

 private:
  std::string faultCode_;
};
/// An answer that is not what the protocol allows (not a SOAP envelope, ...).
class QUORL_RTL_API ESOAPDomConvertError : public Exception {
  using Exception::Exception;
};
/// XML text that does not parse, or a document that breaks an expected shape.
class QUORL_RTL_API EXMLDocError : public Exception {
  using Exception::Exception;
};
