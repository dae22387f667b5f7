// GenerateText, GenerateReadableText and the stream/file writers of uVxJSON.
//
// Both writers walk the tree with an explicit stack instead of recursing, so a
// tree nested a million levels deep (built by code; the parser stops at
// kMaxJsonDepth) is written without exhausting the call stack.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <ostream>

#include "json/JsonInternal.h"
#include "platform/Exception.h"
#include "platform/FloatText.h"

using quorl::JsonAccess;
using quorl::JsonShape;

namespace {

// The output buffer starts at 50000 bytes and grows in steps of 50000. realloc
// lets large buffers grow in place (glibc remaps them) instead of copying.
constexpr size_t kBufferStep = 50000;

class ByteWriter {
 public:
  ByteWriter() : buf_(static_cast<char*>(std::malloc(kBufferStep))), cap_(kBufferStep) {
    if (buf_ == nullptr) throw std::bad_alloc();
  }
  ~ByteWriter() { std::free(buf_); }
  ByteWriter(const ByteWriter&) = delete;
  ByteWriter& operator=(const ByteWriter&) = delete;

  // Makes room for n more bytes and returns where they go.
  char* Room(size_t n) {
    if (cap_ - size_ < n) Grow(n);
    return buf_ + size_;
  }
  void Commit(char* end) { size_ = static_cast<size_t>(end - buf_); }
  void Put(char c) { *Room(1) = c, ++size_; }
  void Put(const char* s, size_t n) {
    std::memcpy(Room(n), s, n);
    size_ += n;
  }
  void Spaces(size_t n) {
    std::memset(Room(n), ' ', n);
    size_ += n;
  }
  // The text up to the terminating zero byte; the buffer is released after.
  std::string Take() {
    Put('\0');
    return std::string(buf_, size_ - 1);
  }

 private:
  void Grow(size_t n) {
    size_t cap = cap_;
    while (cap - size_ < n) cap += kBufferStep;
    char* grown = static_cast<char*>(std::realloc(buf_, cap));
    if (grown == nullptr) throw std::bad_alloc();
    buf_ = grown;
    cap_ = cap;
  }

  char* buf_;
  size_t size_ = 0;
  size_t cap_;
};

// Escape of each ASCII byte: 0 writes the byte itself, 'u' a \u00XX escape,
// anything else a backslash and that letter.
struct EscapeTable {
  char code[128];
  constexpr EscapeTable() : code() {
    for (int c = 0; c < 0x20; ++c) code[c] = 'u';
    code[0x08] = 'b';
    code[0x09] = 't';
    code[0x0A] = 'n';
    code[0x0C] = 'f';
    code[0x0D] = 'r';
    code[0x22] = '"';
    code[0x2F] = '/';
    code[0x5C] = '\\';
  }
};
constexpr EscapeTable kEscape;

void WriteString(ByteWriter& w, std::u16string_view s) {
  w.Put('"');
  static const char kHex[] = "0123456789ABCDEF";
  constexpr size_t kChunk = 4096;
  size_t i = 0;
  const size_t n = s.size();
  while (i < n) {
    // Worst case 6 bytes per code unit (a \u00XX escape); one more unit may be
    // taken to finish a surrogate pair.
    const size_t stop = std::min(n, i + kChunk);
    char* d = w.Room((stop - i + 1) * 6);
    for (; i < stop; ++i) {
      const char16_t c = s[i];
      if (c < 0x80) {
        const char e = kEscape.code[c];
        if (e == 0) {
          *d++ = static_cast<char>(c);
        } else if (e == 'u') {
          *d++ = '\\';
          *d++ = 'u';
          *d++ = '0';
          *d++ = '0';
          *d++ = kHex[c >> 4];
          *d++ = kHex[c & 0xF];
        } else {
          *d++ = '\\';
          *d++ = e;
        }
      } else {
        // Lone surrogate halves keep their own 3-byte form, which the parser
        // reads back as the same code unit.
        d = quorl::EncodeUtf8(quorl::NextUtf16(s, i), d);
      }
    }
    w.Commit(d);
  }
  w.Put('"');
}

// Writes a value that has no children of its own to write; containers and
// pairs are handled by the walkers. Classes without a text write nothing.
void WriteLeaf(ByteWriter& w, const TvxJSONbase* v) {
  switch (JsonAccess::Shape(v)) {
    case JsonShape::Number: {
      char* d = w.Room(quorl::kMaxFloatText);
      w.Commit(d + quorl::FormatFloat15(static_cast<const TvxJSONnumber*>(v)->Value(), d));
      break;
    }
    case JsonShape::String:
      WriteString(w, static_cast<const TvxJSONstring*>(v)->Value());
      break;
    case JsonShape::Boolean:
      if (static_cast<const TvxJSONboolean*>(v)->Value())
        w.Put("true", 4);
      else
        w.Put("false", 5);
      break;
    case JsonShape::Null:
      w.Put("null", 4);
      break;
    default:
      break;
  }
}

const JsonAccess::ChildVector& ChildrenOf(const TvxJSONbase* v) {
  return JsonAccess::Children(static_cast<const TvxJSONcustomlist*>(v));
}

// Pairs write their name and a colon; their value follows in their place.
const TvxJSONbase* SkipPairs(ByteWriter& w, const TvxJSONbase* v) {
  while (v != nullptr && JsonAccess::Shape(v) == JsonShape::Pair) {
    const auto* pair = static_cast<const TvxJSONobjectmethod*>(v);
    WriteString(w, pair->Name());
    w.Put(':');
    v = pair->ObjValue();
  }
  return v;
}

void WriteCompact(ByteWriter& w, const TvxJSONbase* root) {
  struct Frame {
    const JsonAccess::ChildVector* children;
    size_t next;
    char close;
  };
  std::vector<Frame> stack;
  const TvxJSONbase* v = root;
  for (;;) {
    v = SkipPairs(w, v);
    if (v != nullptr) {
      const JsonShape shape = JsonAccess::Shape(v);
      if (shape == JsonShape::List || shape == JsonShape::Object) {
        const bool list = shape == JsonShape::List;
        w.Put(list ? '[' : '{');
        stack.push_back(Frame{&ChildrenOf(v), 0, list ? ']' : '}'});
      } else {
        WriteLeaf(w, v);
      }
    }
    v = nullptr;
    bool more = false;
    while (!stack.empty()) {
      Frame& f = stack.back();
      if (f.next < f.children->size()) {
        if (f.next > 0) w.Put(',');
        v = (*f.children)[f.next++];
        more = true;
        break;
      }
      w.Put(f.close);
      stack.pop_back();
    }
    if (!more) return;
  }
}

void Indent(ByteWriter& w, int64_t n) {
  if (n > 0) w.Spaces(static_cast<size_t>(n) * 2);
}

// Elements whose readable text is empty: none and classes without a text.
bool WritesNothing(const TvxJSONbase* v) {
  if (v == nullptr) return true;
  const JsonShape s = JsonAccess::Shape(v);
  return s == JsonShape::Other || s == JsonShape::CustomList;
}

// A value written at level variable `level` opens its body at level + 1;
// members go one level deeper than the line holding their owner, a pair's
// value stays at the pair's level, and the closing bracket returns to `level`.
void WriteReadable(ByteWriter& w, const TvxJSONbase* root, int64_t level) {
  struct Frame {
    const JsonAccess::ChildVector* children;
    size_t next;
    int64_t level;  // the body's level
    char close;
  };
  std::vector<Frame> stack;
  const TvxJSONbase* v = root;
  for (;;) {
    v = SkipPairs(w, v);
    if (v != nullptr) {
      const JsonShape shape = JsonAccess::Shape(v);
      if (shape == JsonShape::List || shape == JsonShape::Object) {
        const bool list = shape == JsonShape::List;
        const auto& children = ChildrenOf(v);
        const int64_t body = level + 1;
        // The body is the pieces joined by ",CRLF"; with no indentation (a
        // negative start level) a single empty piece leaves it empty too.
        const bool empty =
            children.empty() || (list && children.size() == 1 && body <= 0 && WritesNothing(children[0]));
        w.Put(list ? '[' : '{');
        if (empty) {
          w.Put(list ? ']' : '}');
        } else {
          w.Put("\r\n", 2);
          stack.push_back(Frame{&children, 0, body, list ? ']' : '}'});
        }
      } else {
        WriteLeaf(w, v);
      }
    }
    v = nullptr;
    bool more = false;
    while (!stack.empty()) {
      Frame& f = stack.back();
      if (f.next < f.children->size()) {
        if (f.next > 0) w.Put(",\r\n", 3);
        Indent(w, f.level);
        v = (*f.children)[f.next++];
        level = f.level;
        more = true;
        break;
      }
      w.Put("\r\n", 2);
      Indent(w, f.level - 1);
      w.Put(f.close);
      stack.pop_back();
    }
    if (!more) return;
  }
}

}  // namespace

AnsiString TvxJSON::GenerateText(const TvxJSONbase* value) {
  if (value == nullptr) return AnsiString();
  ByteWriter w;
  WriteCompact(w, value);
  return w.Take();
}

AnsiString GenerateReadableText(const TvxJSONbase* value, int32_t& level) {
  // The level comes back unchanged: every raise is matched by a lowering.
  ByteWriter w;
  WriteReadable(w, value, level);
  return w.Take();
}

void TvxJSONstreamed::SaveToStream(const TvxJSONbase* value, std::ostream* stream) {
  if (value == nullptr || stream == nullptr) return;
  const AnsiString text = GenerateText(value);
  stream->write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!*stream) throw EFOpenError("JSON stream could not be written");
}

void TvxJSONstreamed::SaveToFile(const TvxJSONbase* value, const std::string& fileName) {
  if (value == nullptr) return;
  std::ofstream file(fileName, std::ios::binary | std::ios::trunc);
  if (!file.is_open()) throw EFOpenError("Cannot create file \"" + fileName + "\". " + std::strerror(errno));
  SaveToStream(value, &file);
  file.close();
  if (file.fail()) throw EFOpenError("Cannot write file \"" + fileName + "\"");
}
