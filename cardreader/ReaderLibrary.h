// The reader library seam: the seven functions of the contact-less reader
// library the package calls, behind one small interface. The real one binds
// libcardreader.so with dlopen on first use, so the package loads on tills
// that have no reader; tests install their own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/PackageExport.h"

namespace quorl {

/// Statuses are 16-bit, 0 meaning success; dc_init answers a handle, negative
/// when no reader was opened. Arguments are passed exactly as given.
class QUORL_PACKAGE_API ReaderLibrary {
 public:
  virtual ~ReaderLibrary() = default;
  /// Opens the reader on port at baud; the handle, negative when none.
  virtual int32_t dc_init(int16_t port, int32_t baud) = 0;
  /// Finds a card; its serial number goes to *snr.
  virtual int16_t dc_card(int32_t icdev, uint8_t mode, uint32_t* snr) = 0;
  /// Beeps for duration (in the reader's units).
  virtual int16_t dc_beep(int32_t icdev, uint16_t duration) = 0;
  /// Authenticates a sector with a key of 12 hexadecimal digits.
  virtual int16_t dc_authentication_pass_hex(int32_t icdev, uint8_t mode, uint8_t sector,
                                             const char* key) = 0;
  /// data receives 32 hexadecimal digits and a zero byte (33 bytes).
  virtual int16_t dc_read_hex(int32_t icdev, uint8_t block, char* data) = 0;
  /// Resets the reader for duration (in the reader's units).
  virtual int16_t dc_reset(int32_t icdev, uint16_t duration) = 0;
  virtual int16_t dc_exit(int32_t icdev) = 0;  ///< Closes the reader.
};

/// Binds the reader library at path with dlopen. Raises Exception naming the
/// file and the reason when the library cannot be loaded or lacks one of the
/// seven functions. The library stays loaded while the object lives.
/// Inside the package only (not exported).
std::unique_ptr<ReaderLibrary> LoadReaderLibrary(const std::string& path);

/// Where the package looks for the reader library by default: the folder of
/// the package's own shared object first, then the library path by name.
std::string DefaultReaderLibraryPath();  ///< Inside the package only (not exported).
inline constexpr const char* kReaderLibraryName = "libcardreader.so";  ///< file name of the reader library

/// The reader library the card-reader units use: the installed one, or else
/// the default bound on first use. Null while no library can be bound; the
/// first failure is reported once through the warning handler, and each later
/// use tries again quietly (a reader plugged in later is found).
ReaderLibrary* BoundReaderLibrary();  ///< Inside the package only (not exported).

/// Installs the library to use (tests: a fake); null returns to binding on
/// first use. Resets the "reported once" state.
QUORL_PACKAGE_API void SetReaderLibrary(std::unique_ptr<ReaderLibrary> library);

/// The file to bind on first use instead of DefaultReaderLibraryPath();
/// empty restores the default. Drops the library bound so far and resets the
/// "reported once" state.
QUORL_PACKAGE_API void SetReaderLibraryPath(const std::string& path);

}  // namespace quorl
