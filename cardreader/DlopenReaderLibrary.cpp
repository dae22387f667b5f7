// The real reader library: libcardreader.so bound with dlopen. The only
// file of the package that includes dlfcn.h for the reader.
#include <dlfcn.h>
#include <unistd.h>

#include <string>
#include <utility>

#include "cardreader/ReaderLibrary.h"
#include "host/WarningMessage.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"

namespace quorl {

namespace {

// The library's C entry points, with the argument types the package passes.
using InitFn = int32_t (*)(int16_t, int32_t);
using CardFn = int16_t (*)(int32_t, uint8_t, uint32_t*);
using BeepFn = int16_t (*)(int32_t, uint16_t);
using AuthFn = int16_t (*)(int32_t, uint8_t, uint8_t, const char*);
using ReadFn = int16_t (*)(int32_t, uint8_t, char*);
using ResetFn = int16_t (*)(int32_t, uint16_t);
using ExitFn = int16_t (*)(int32_t);

class DlopenReaderLibrary final : public ReaderLibrary {
 public:
  explicit DlopenReaderLibrary(const std::string& path) {
    // RTLD_LOCAL: the reader's symbols must not stand in for anyone else's.
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
      const char* why = dlerror();
      throw Exception(Utf8ToGbk("无法加载读卡器库 " + path + ": " + (why ? why : "unknown error")));
    }
    try {
      Bind(init_, "dc_init", path);
      Bind(card_, "dc_card", path);
      Bind(beep_, "dc_beep", path);
      Bind(auth_, "dc_authentication_pass_hex", path);
      Bind(read_, "dc_read_hex", path);
      Bind(reset_, "dc_reset", path);
      Bind(exit_, "dc_exit", path);
    } catch (...) {
      dlclose(handle_);
      throw;
    }
  }
  ~DlopenReaderLibrary() override { dlclose(handle_); }
  DlopenReaderLibrary(const DlopenReaderLibrary&) = delete;
  DlopenReaderLibrary& operator=(const DlopenReaderLibrary&) = delete;

  int32_t dc_init(int16_t port, int32_t baud) override { return init_(port, baud); }
  int16_t dc_card(int32_t icdev, uint8_t mode, uint32_t* snr) override { return card_(icdev, mode, snr); }
  int16_t dc_beep(int32_t icdev, uint16_t duration) override { return beep_(icdev, duration); }
  int16_t dc_authentication_pass_hex(int32_t icdev, uint8_t mode, uint8_t sector, const char* key) override {
    return auth_(icdev, mode, sector, key);
  }
  int16_t dc_read_hex(int32_t icdev, uint8_t block, char* data) override { return read_(icdev, block, data); }
  int16_t dc_reset(int32_t icdev, uint16_t duration) override { return reset_(icdev, duration); }
  int16_t dc_exit(int32_t icdev) override { return exit_(icdev); }

 private:
  template <typename Fn>
  void Bind(Fn& fn, const char* name, const std::string& path) {
    dlerror();
    void* symbol = dlsym(handle_, name);
    if (symbol == nullptr) throw Exception(Utf8ToGbk("读卡器库 " + path + " 缺少函数 " + name));
    fn = reinterpret_cast<Fn>(symbol);
  }

  void* handle_ = nullptr;
  InitFn init_ = nullptr;
  CardFn card_ = nullptr;
  BeepFn beep_ = nullptr;
  AuthFn auth_ = nullptr;
  ReadFn read_ = nullptr;
  ResetFn reset_ = nullptr;
  ExitFn exit_ = nullptr;
};

struct Binding {
  std::unique_ptr<ReaderLibrary> library;
  bool installed = false;  // set by SetReaderLibrary: never replaced by the default
  bool reported = false;
  std::string path;  // empty: DefaultReaderLibraryPath()
};

Binding& State() {
  static Binding binding;
  return binding;
}

}  // namespace

std::unique_ptr<ReaderLibrary> LoadReaderLibrary(const std::string& path) {
  return std::make_unique<DlopenReaderLibrary>(path);
}

std::string DefaultReaderLibraryPath() {
  // The package's own file, found through an address inside it.
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&DefaultReaderLibraryPath), &info) != 0 && info.dli_fname != nullptr) {
    std::string self = info.dli_fname;
    const size_t slash = self.rfind('/');
    if (slash != std::string::npos) {
      std::string beside = self.substr(0, slash + 1) + kReaderLibraryName;
      // Only a file that is there; otherwise the library path decides.
      if (access(beside.c_str(), F_OK) == 0) return beside;
    }
  }
  return kReaderLibraryName;
}

ReaderLibrary* BoundReaderLibrary() {
  Binding& b = State();
  if (b.library || b.installed) return b.library.get();
  try {
    b.library = LoadReaderLibrary(b.path.empty() ? DefaultReaderLibraryPath() : b.path);
  } catch (const Exception& e) {
    if (!b.reported) {
      b.reported = true;
      ShowWarningMessage(e.Message(), Utf8ToGbk("警告"));
    }
  }
  return b.library.get();
}

void SetReaderLibrary(std::unique_ptr<ReaderLibrary> library) {
  Binding& b = State();
  b.installed = library != nullptr;
  b.library = std::move(library);
  b.reported = false;
}

void SetReaderLibraryPath(const std::string& path) {
  SetReaderLibrary(nullptr);
  State().path = path;
}

}  // namespace quorl
