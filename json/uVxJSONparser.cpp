// ParseText and the stream/file loaders of uVxJSON.
//
// The parser is recursive descent over the bytes. Each step either succeeds
// (the position moves past the value) or fails (the position stays), as the
// lenient grammar expects: a failed element ends a container's element loop,
// after which the closing bracket is still required. Errors that abort the
// whole parse (a bad \u escape, an out-of-range number, too deep nesting) set
// `fatal_` instead of throwing; the outcome is the same, none.
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <istream>
#include <memory>

#include "json/JsonInternal.h"
#include "platform/Exception.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

using quorl::JsonAccess;

namespace {

inline bool IsDigit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

inline int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// First '"' or '\\' in [p, end), or end.
inline const char* FindQuoteOrBackslash(const char* p, const char* end) {
#ifdef __SSE2__
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i backslash = _mm_set1_epi8('\\');
  while (end - p >= 16) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const int mask =
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(chunk, quote), _mm_cmpeq_epi8(chunk, backslash)));
    if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
    p += 16;
  }
#endif
  while (p < end && *p != '"' && *p != '\\') ++p;
  return p;
}

class Parser {
 public:
  explicit Parser(const char* end) : end_(end) {}
  ~Parser() { quorl::DestroyValues(pending_); }
  Parser(const Parser&) = delete;
  Parser& operator=(const Parser&) = delete;

  // The first value at `pos`, or none.
  TvxJSONbase* Run(const char* pos) {
    TvxJSONbase* v = ParseValue(pos);
    if (fatal_) {
      quorl::DestroyValue(v);
      return nullptr;
    }
    return v;
  }

 private:
  void SkipWhitespace(const char*& p) const {
    if (p < end_ && static_cast<unsigned char>(*p) >= 0x21) return;
#ifdef __SSE2__
    // Indented text has long runs of blanks between tokens.
    const __m128i limit = _mm_set1_epi8(0x20);
    while (end_ - p >= 16) {
      const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      // Bytes above 0x20 are those where max(byte, 0x20) differs from 0x20.
      const int blank = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(chunk, limit), limit));
      if (blank != 0xFFFF) {
        p += __builtin_ctz(static_cast<unsigned>(~blank));
        return;
      }
      p += 16;
    }
#endif
    while (p < end_ && static_cast<unsigned char>(*p) < 0x21) ++p;
  }

  TvxJSONbase* ParseValue(const char*& pos);
  TvxJSONbase* ParseNumber(const char*& pos);
  bool ParseString(const char*& pos, quorl::ArenaText& out);
  bool Unescape(const char* raw, const char* rawEnd);
  TvxJSONbase* ParseList(const char*& pos);
  TvxJSONbase* ParseObject(const char*& pos);
  void DropPending(size_t base) {
    // Popping from the back keeps the release order of a container's own.
    while (pending_.size() > base) {
      TvxJSONbase* v = pending_.back();
      pending_.pop_back();
      quorl::DestroyValue(v);
    }
  }
  // Keeps a parsed child until its container closes; releases it when even
  // that fails, so an exhausted heap leaks nothing.
  void Push(TvxJSONbase* v) {
    try {
      pending_.push_back(v);
    } catch (...) {
      quorl::DestroyValue(v);
      throw;
    }
  }
  // Moves the pending children from `base` on into the new container.
  template <class Container>
  Container* TakePending(Container* c, size_t base) {
    auto& children = JsonAccess::Children(c);
    children.assign(pending_.begin() + static_cast<std::ptrdiff_t>(base), pending_.end());
    pending_.resize(base);
    return c;
  }

  const char* const end_;
  // Children of the containers being parsed, innermost last. A container is
  // created when its closing bracket is reached, with its children in one
  // exact allocation.
  std::vector<TvxJSONbase*> pending_;
  std::string scratch_;  // unescaped bytes of the current string
  int depth_ = 0;
  bool fatal_ = false;
};

TvxJSONbase* Parser::ParseValue(const char*& pos) {
  const char* p = pos;
  SkipWhitespace(p);
  if (p >= end_) return nullptr;
  // The alternatives (boolean, null, number, string, list, object) each need a
  // different first byte, so dispatching on it tries them in effect in order.
  switch (*p) {
    case 't':
      if (end_ - p >= 4 && std::memcmp(p, "true", 4) == 0) {
        auto* b = new TvxJSONboolean;
        JsonAccess::Boolean(b) = true;
        pos = p + 4;
        return b;
      }
      return nullptr;
    case 'f':
      if (end_ - p >= 5 && std::memcmp(p, "false", 5) == 0) {
        pos = p + 5;
        return new TvxJSONboolean;
      }
      return nullptr;
    case 'n':
      if (end_ - p >= 4 && std::memcmp(p, "null", 4) == 0) {
        pos = p + 4;
        return new TvxJSONnull;
      }
      return nullptr;
    case '"': {
      auto s = std::make_unique<TvxJSONstring>();
      if (!ParseString(p, JsonAccess::Text(s.get()))) return nullptr;
      pos = p;
      return s.release();
    }
    case '[':
      return ParseList(pos);
    case '{':
      return ParseObject(pos);
    default:
      if (IsDigit(*p) || *p == '-' || *p == '+') return ParseNumber(pos);
      return nullptr;
  }
}

TvxJSONbase* Parser::ParseNumber(const char*& pos) {
  const char* p = pos;
  SkipWhitespace(p);
  const char* const start = p;
  bool negative = false;
  if (p < end_ && (*p == '+' || *p == '-')) negative = *p++ == '-';
  // The grammar is checked and the digits gathered in one pass; lexemes of at
  // most 19 digits with a small exponent are converted exactly on the spot.
  uint64_t mantissa = 0;
  const char* digits = p;
  while (p < end_ && IsDigit(*p)) mantissa = mantissa * 10 + static_cast<unsigned>(*p++ - '0');
  size_t count = static_cast<size_t>(p - digits);
  if (count == 0) return nullptr;
  int64_t exponent = 0;
  if (p < end_ && *p == '.') {
    const char* q = p + 1;
    const char* fraction = q;
    while (q < end_ && IsDigit(*q)) mantissa = mantissa * 10 + static_cast<unsigned>(*q++ - '0');
    if (q == fraction) return nullptr;
    count += static_cast<size_t>(q - fraction);
    exponent = -(q - fraction);
    p = q;
  }
  if (p < end_ && (*p == 'e' || *p == 'E')) {
    const char* q = p + 1;
    bool expNegative = false;
    if (q < end_ && (*q == '+' || *q == '-')) expNegative = *q++ == '-';
    const char* expDigits = q;
    int64_t e = 0;
    while (q < end_ && IsDigit(*q)) {
      if (e < 100000000) e = e * 10 + (*q - '0');
      ++q;
    }
    if (q == expDigits) return nullptr;
    exponent += expNegative ? -e : e;
    p = q;
  }
  long double value = 0;
  if (!(count <= 19 && quorl::ExactNumber(mantissa, exponent, negative, value)) &&
      !quorl::ParseJsonNumber(start, p, value)) {
    fatal_ = true;
    return nullptr;
  }
  auto* n = new TvxJSONnumber;
  JsonAccess::Number(n) = value;
  pos = p;
  return n;
}

bool Parser::ParseString(const char*& pos, quorl::ArenaText& out) {
  const char* p = pos;
  SkipWhitespace(p);
  if (p >= end_ || *p != '"') return false;
  const char* const raw = p + 1;
  // A backslash hides the byte after it, so an escaped quote never closes.
  const char* q = raw;
  bool escaped = false;
  for (;;) {
    q = FindQuoteOrBackslash(q, end_);
    if (q >= end_) return false;
    if (*q == '"') break;
    escaped = true;
    q += 2;
    if (q >= end_) return false;
  }
  if (!escaped) {
    out.AssignUtf8(std::string_view(raw, static_cast<size_t>(q - raw)));
  } else {
    if (!Unescape(raw, q)) {
      fatal_ = true;
      return false;
    }
    out.AssignUtf8(scratch_);
  }
  pos = q + 1;
  return true;
}

bool Parser::Unescape(const char* raw, const char* rawEnd) {
  scratch_.clear();
  const char* p = raw;
  while (p < rawEnd) {
    const char* bs = static_cast<const char*>(std::memchr(p, '\\', static_cast<size_t>(rawEnd - p)));
    if (bs == nullptr) {
      scratch_.append(p, static_cast<size_t>(rawEnd - p));
      break;
    }
    scratch_.append(p, static_cast<size_t>(bs - p));
    if (bs + 1 >= rawEnd) break;  // cannot happen after the quote scan; drop it
    const char c = bs[1];
    p = bs + 2;
    switch (c) {
      case '"':
      case '\'':
      case '/':
      case '\\':
        scratch_.push_back(c);
        break;
      case 'b':
        scratch_.push_back('\x08');
        break;
      case 'f':
        scratch_.push_back('\x0C');
        break;
      case 'n':
        scratch_.push_back('\x0A');
        break;
      case 'r':
        scratch_.push_back('\x0D');
        break;
      case 't':
        scratch_.push_back('\x09');
        break;
      case 'u': {
        // Up to four hex digits, fewer when the raw text ends sooner; none at
        // all, or anything that is not a hex digit, aborts the parse.
        const char* h = p;
        const char* hexEnd = rawEnd - h >= 4 ? h + 4 : rawEnd;
        if (h == hexEnd) return false;
        unsigned cp = 0;
        for (; h < hexEnd; ++h) {
          const int v = HexValue(*h);
          if (v < 0) return false;
          cp = cp * 16 + static_cast<unsigned>(v);
        }
        quorl::AppendUtf8(scratch_, cp);  // a lone surrogate half too, in its 3-byte form
        p = hexEnd;
        break;
      }
      default:
        break;  // unknown escape: the backslash and its byte are dropped
    }
  }
  return true;
}

TvxJSONbase* Parser::ParseList(const char*& pos) {
  const char* p = pos;
  SkipWhitespace(p);
  if (p >= end_ || *p != '[') return nullptr;
  ++p;
  if (++depth_ > kMaxJsonDepth) {
    --depth_;
    fatal_ = true;
    return nullptr;
  }
  const size_t base = pending_.size();
  for (;;) {
    TvxJSONbase* v = ParseValue(p);
    if (v == nullptr) break;
    Push(v);
    SkipWhitespace(p);
    if (p < end_ && *p == ',') ++p;
  }
  --depth_;
  SkipWhitespace(p);
  // Child positions are 32-bit: a longer list cannot be represented.
  if (pending_.size() - base > static_cast<size_t>(INT32_MAX)) fatal_ = true;
  if (fatal_ || p >= end_ || *p != ']') {
    DropPending(base);
    return nullptr;
  }
  auto list = std::make_unique<TvxJSONlist>();
  TakePending(list.get(), base);
  pos = p + 1;
  return list.release();
}

TvxJSONbase* Parser::ParseObject(const char*& pos) {
  const char* p = pos;
  SkipWhitespace(p);
  if (p >= end_ || *p != '{') return nullptr;
  ++p;
  if (++depth_ > kMaxJsonDepth) {
    --depth_;
    fatal_ = true;
    return nullptr;
  }
  const size_t base = pending_.size();
  for (;;) {
    const char* q = p;
    SkipWhitespace(q);
    if (q >= end_ || *q != '"') break;
    auto pair = std::make_unique<TvxJSONobjectmethod>();
    if (!ParseString(q, JsonAccess::PairName(pair.get()))) break;
    SkipWhitespace(q);
    if (q >= end_ || *q != ':') break;
    ++q;
    TvxJSONbase* v = ParseValue(q);
    if (v == nullptr) break;
    JsonAccess::PairValue(pair.get()) = v;
    Push(pair.release());
    p = q;
    SkipWhitespace(p);
    if (p < end_ && *p == ',') ++p;
  }
  --depth_;
  SkipWhitespace(p);
  if (pending_.size() - base > static_cast<size_t>(INT32_MAX)) fatal_ = true;
  if (fatal_ || p >= end_ || *p != '}') {
    DropPending(base);
    return nullptr;
  }
  auto object = std::make_unique<TvxJSONobject>(true);
  TakePending(object.get(), base);
  // Indexing in member order keeps a repeated name mapped to its first member.
  TvxBalTree& index = JsonAccess::Index(object.get());
  const auto& children = JsonAccess::Children(object.get());
  index.Reserve(children.size());
  for (size_t i = 0; i < children.size(); ++i) {
    index.Insert(static_cast<TvxJSONobjectmethod*>(children[i])->Name(), static_cast<int32_t>(i));
  }
  pos = p + 1;
  return object.release();
}

}  // namespace

TvxJSONbase* TvxJSON::ParseText(std::string_view text) {
  if (text.empty()) return nullptr;
  const char* p = text.data();
  const char* const end = p + text.size();
  if (text.size() >= 3 && static_cast<unsigned char>(p[0]) == 0xEF &&
      static_cast<unsigned char>(p[1]) == 0xBB && static_cast<unsigned char>(p[2]) == 0xBF) {
    p += 3;
    if (p == end) return nullptr;
  }
  try {
    Parser parser(end);
    return parser.Run(p);
  } catch (...) {
    // Nothing leaves ParseText: the parser's destructor has released the
    // partial tree, and failure is reported as none.
    return nullptr;
  }
}

TvxJSONbase* TvxJSONstreamed::LoadFromStream(std::istream* stream) {
  if (stream == nullptr) return nullptr;
  std::string bytes;
  const std::istream::pos_type here = stream->tellg();
  bool sized = false;
  if (here != std::istream::pos_type(-1) && stream->seekg(0, std::ios::end)) {
    const std::istream::pos_type size = stream->tellg();
    stream->seekg(here);
    if (size != std::istream::pos_type(-1) && size >= here) {
      bytes.resize(static_cast<size_t>(size - here));
      stream->read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      bytes.resize(static_cast<size_t>(stream->gcount()));
      sized = true;
    }
  }
  if (!sized) {
    // Not seekable (a pipe): read to the end instead.
    stream->clear();
    char buf[65536];
    while (stream->read(buf, sizeof buf) || stream->gcount() > 0) {
      bytes.append(buf, static_cast<size_t>(stream->gcount()));
    }
  }
  if (stream->bad()) throw EFOpenError("JSON stream could not be read");
  return ParseText(bytes);
}

TvxJSONbase* TvxJSONstreamed::LoadFromFile(const std::string& fileName) {
  struct stat st {};
  if (::stat(fileName.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return nullptr;
    throw EFOpenError("Cannot open file \"" + fileName + "\". " + std::strerror(errno));
  }
  std::ifstream file(fileName, std::ios::binary);
  if (S_ISDIR(st.st_mode)) throw EFOpenError("Cannot open file \"" + fileName + "\". Is a directory");
  if (!file.is_open()) throw EFOpenError("Cannot open file \"" + fileName + "\". " + std::strerror(errno));
  return LoadFromStream(&file);
}
