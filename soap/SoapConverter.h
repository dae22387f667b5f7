// The converter settings of a SOAP client: how requests are written and how
// strictly answers are read.
#pragma once

#include <bitset>
#include <cstddef>
#include <string>

namespace quorl {

/// Positions in the option set. Positions not named here are reserved and
/// have no effect.
enum class SoapConvertOption : size_t {
  /// Parameters are written without xsi:type attributes.
  SendUntyped = 0,
  /// The request envelope is indented, one element per line.
  Indent = 2,
  /// Characters outside ASCII are written as UTF-8 bytes. Off, they are
  /// written as character references, which survives any byte-oriented
  /// gateway at the price of a longer body.
  UTF8Text = 7,
  /// Parameters holding empty text are left out of the request.
  DontSendEmptyParams = 8,
  /// An xsi:type on the result must name a type that fits the declared
  /// result (a string type for text, an integer type for numbers). Off,
  /// type attributes of the answer are ignored.
  StrictAnswerTypes = 13,
};

using SoapConvertOptions = std::bitset<16>;  ///< Option flags by SoapConvertOption position.

/// How a client writes its envelopes: option flags and the declared encoding.
struct SoapConverter {
  /// Runtime default: strict answer types, everything else off.
  SoapConvertOptions Options =
      SoapConvertOptions().set(static_cast<size_t>(SoapConvertOption::StrictAnswerTypes));
  /// Declared text encoding of requests. Empty means UTF-8, the only encoding
  /// this runtime writes; any other name fails the call.
  std::string Encoding;

  /// True when option o is set.
  bool Has(SoapConvertOption o) const { return Options.test(static_cast<size_t>(o)); }
  void Include(SoapConvertOption o) { Options.set(static_cast<size_t>(o)); }    ///< Sets option o.
  void Exclude(SoapConvertOption o) { Options.reset(static_cast<size_t>(o)); }  ///< Clears option o.
};

}  // namespace quorl
