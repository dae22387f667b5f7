#include "platform/ClientDataSet.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <unordered_map>
#include <variant>

#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "platform/Text.h"

namespace {

// One stored value; monostate is null. ftFloat and ftDateTime both hold a double.
using Cell = std::variant<std::monostate, std::string, int32_t, double, bool>;
using Row = std::vector<Cell>;

enum class State { Inactive, Browse, Insert, Edit };

constexpr uint8_t kPacketVersion = 1;
constexpr char kPacketMagic[4] = {'Q', 'C', 'D', 'S'};
// Smallest encoding of one field definition: type, flags, size, name length.
constexpr size_t kMinFieldDefBytes = 1 + 1 + 4 + 4;
constexpr uint8_t kFlagRequired = 0x01;

struct NoCaseHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const noexcept {
    size_t h = 1469598103934665603ull;
    for (char c : s) h = (h ^ static_cast<unsigned char>(quorl::LowerAscii(c))) * 1099511628211ull;
    return h;
  }
};

struct NoCaseEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept {
    return quorl::SameTextAscii(a, b);
  }
};

[[noreturn]] void DatabaseError(std::string message) { throw EDatabaseError(std::move(message)); }

[[noreturn]] void Corrupt(const std::string& reason) { DatabaseError("Corrupt dataset packet: " + reason); }

bool SameDef(const TFieldDef& a, const TFieldDef& b) {
  return a.Name == b.Name && a.DataType == b.DataType && a.Size == b.Size && a.Required == b.Required;
}

// Text fields keep at most Size bytes, cut even inside a two-byte character:
// the host counts and stores text in bytes.
std::string CutText(std::string s, int size) {
  if (s.size() > static_cast<size_t>(size)) s.resize(static_cast<size_t>(size));
  return s;
}

// Converts by the variant rules into the field's type.
Cell ToCell(const TFieldDef& def, const Variant& v) {
  if (v.IsClearOrNull()) return Cell{};
  switch (def.DataType) {
    case TFieldType::ftString:
      return CutText(v.AsString(), def.Size);
    case TFieldType::ftInteger:
      return v.AsInteger();
    case TFieldType::ftFloat:
      return v.AsDouble();
    case TFieldType::ftDateTime:
      return v.AsDateTime();
    case TFieldType::ftBoolean:
      return v.AsBoolean();
  }
  return Cell{};
}

Variant FromCell(const TFieldDef& def, const Cell& c) {
  switch (c.index()) {
    case 1:
      return Variant(std::get<std::string>(c));
    case 2:
      return Variant(std::get<int32_t>(c));
    case 3:
      return def.DataType == TFieldType::ftDateTime ? Variant::FromDateTime(std::get<double>(c))
                                                    : Variant(std::get<double>(c));
    case 4:
      return Variant(std::get<bool>(c));
    default:
      return Variant::Null();
  }
}

class PacketWriter {
 public:
  explicit PacketWriter(size_t estimate) { out_.reserve(estimate); }
  void U8(uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void U32(uint32_t v) {
    char b[4];
    for (int i = 0; i < 4; ++i) b[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    out_.append(b, 4);
  }
  void U64(uint64_t v) {
    char b[8];
    for (int i = 0; i < 8; ++i) b[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    out_.append(b, 8);
  }
  void F64(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    U64(bits);
  }
  void Bytes(std::string_view s) { out_.append(s); }
  std::string& Out() { return out_; }

 private:
  std::string out_;
};

// Reads the packet; every read checks the bytes that remain first, so no
// count in the packet can make it read past the end or allocate more than
// the bytes could hold.
class PacketReader {
 public:
  explicit PacketReader(std::string_view data) : data_(data) {}
  size_t Left() const { return data_.size() - pos_; }
  void Need(size_t n, const char* what) {
    if (Left() < n) Corrupt(std::string("truncated in ") + what);
  }
  uint8_t U8(const char* what) {
    Need(1, what);
    return static_cast<uint8_t>(data_[pos_++]);
  }
  uint32_t U32(const char* what) {
    Need(4, what);
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(static_cast<uint8_t>(data_[pos_ + i])) << (8 * i);
    pos_ += 4;
    return v;
  }
  double F64(const char* what) {
    Need(8, what);
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= uint64_t(static_cast<uint8_t>(data_[pos_ + i])) << (8 * i);
    pos_ += 8;
    double d;
    std::memcpy(&d, &v, sizeof d);
    return d;
  }
  std::string_view Bytes(size_t n, const char* what) {
    Need(n, what);
    const std::string_view s = data_.substr(pos_, n);
    pos_ += n;
    return s;
  }

 private:
  std::string_view data_;
  size_t pos_ = 0;
};

std::string SerializePacket(const std::vector<TFieldDef>& defs, const std::vector<Row>& rows) {
  const size_t bitmapBytes = (defs.size() + 7) / 8;
  size_t estimate = 16;
  for (const auto& d : defs) estimate += kMinFieldDefBytes + d.Name.size();
  estimate += rows.size() * (bitmapBytes + defs.size() * 8);
  PacketWriter w(estimate);
  w.U8(kPacketVersion);
  w.Bytes(std::string_view(kPacketMagic, sizeof kPacketMagic));
  w.U32(static_cast<uint32_t>(defs.size()));
  for (const auto& d : defs) {
    w.U8(static_cast<uint8_t>(d.DataType));
    w.U8(d.Required ? kFlagRequired : 0);
    w.U32(static_cast<uint32_t>(d.Size));
    w.U32(static_cast<uint32_t>(d.Name.size()));
    w.Bytes(d.Name);
  }
  w.U32(static_cast<uint32_t>(rows.size()));
  std::string bitmap(bitmapBytes, '\0');
  for (const Row& row : rows) {
    std::fill(bitmap.begin(), bitmap.end(), '\0');
    for (size_t i = 0; i < row.size(); ++i) {
      if (row[i].index() == 0) bitmap[i / 8] = static_cast<char>(bitmap[i / 8] | (1 << (i % 8)));
    }
    w.Bytes(bitmap);
    for (size_t i = 0; i < row.size(); ++i) {
      const Cell& c = row[i];
      switch (c.index()) {
        case 1: {
          const std::string& s = std::get<std::string>(c);
          w.U32(static_cast<uint32_t>(s.size()));
          w.Bytes(s);
          break;
        }
        case 2:
          w.U32(static_cast<uint32_t>(std::get<int32_t>(c)));
          break;
        case 3:
          w.F64(std::get<double>(c));
          break;
        case 4:
          w.U8(std::get<bool>(c) ? 1 : 0);
          break;
        default:
          break;
      }
    }
  }
  return std::move(w.Out());
}

// Text in single quotes, for messages. Built by appending: GCC 12 at -O3
// warns falsely (-Wrestrict) on "'" + text.
std::string QuotedName(std::string_view name) {
  std::string out;
  out.reserve(name.size() + 2);
  out += '\'';
  out += name;
  out += '\'';
  return out;
}

void ParsePacket(std::string_view bytes, std::vector<TFieldDef>& defs, std::vector<Row>& rows) {
  PacketReader r(bytes);
  if (bytes.empty()) Corrupt("empty packet");
  const uint8_t version = r.U8("version");
  if (version != kPacketVersion) Corrupt("unsupported version " + std::to_string(version));
  if (r.Bytes(sizeof kPacketMagic, "magic") != std::string_view(kPacketMagic, sizeof kPacketMagic)) {
    Corrupt("bad magic");
  }
  const uint32_t fieldCount = r.U32("field count");
  if (fieldCount == 0) Corrupt("no fields");
  if (fieldCount > r.Left() / kMinFieldDefBytes) Corrupt("field count exceeds packet size");
  defs.reserve(fieldCount);
  for (uint32_t f = 0; f < fieldCount; ++f) {
    TFieldDef d;
    const uint8_t type = r.U8("field type");
    const uint8_t flags = r.U8("field flags");
    const uint32_t size = r.U32("field size");
    const uint32_t nameLen = r.U32("field name");
    d.Name = std::string(r.Bytes(nameLen, "field name"));
    if (type > static_cast<uint8_t>(TFieldType::ftBoolean)) {
      Corrupt("unknown type " + std::to_string(type) + " of field " + QuotedName(d.Name));
    }
    if ((flags & ~kFlagRequired) != 0) Corrupt("unknown flags of field " + QuotedName(d.Name));
    d.DataType = static_cast<TFieldType>(type);
    d.Required = (flags & kFlagRequired) != 0;
    const bool text = d.DataType == TFieldType::ftString;
    if (text ? (size == 0 || size > static_cast<uint32_t>(std::numeric_limits<int>::max())) : size != 0) {
      Corrupt("invalid size " + std::to_string(size) + " of field " + QuotedName(d.Name));
    }
    d.Size = static_cast<int>(size);
    defs.push_back(std::move(d));
  }
  const size_t bitmapBytes = (defs.size() + 7) / 8;
  const uint32_t rowCount = r.U32("row count");
  // Each row needs at least its null bitmap.
  if (rowCount > r.Left() / bitmapBytes) Corrupt("row count exceeds packet size");
  rows.reserve(rowCount);
  for (uint32_t n = 0; n < rowCount; ++n) {
    const std::string_view bitmap = r.Bytes(bitmapBytes, "row null flags");
    if (defs.size() % 8 != 0 && (static_cast<uint8_t>(bitmap.back()) >> (defs.size() % 8)) != 0) {
      Corrupt("unused null flags set in row " + std::to_string(n + 1));
    }
    Row row(defs.size());
    for (size_t i = 0; i < defs.size(); ++i) {
      if ((static_cast<uint8_t>(bitmap[i / 8]) >> (i % 8)) & 1) continue;
      switch (defs[i].DataType) {
        case TFieldType::ftString: {
          const uint32_t len = r.U32("text length");
          if (len > static_cast<uint32_t>(defs[i].Size)) {
            Corrupt("text longer than field " + QuotedName(defs[i].Name) + " in row " +
                    std::to_string(n + 1));
          }
          row[i] = std::string(r.Bytes(len, "text"));
          break;
        }
        case TFieldType::ftInteger:
          row[i] = static_cast<int32_t>(r.U32("integer"));
          break;
        case TFieldType::ftFloat:
        case TFieldType::ftDateTime:
          row[i] = r.F64("number");
          break;
        case TFieldType::ftBoolean: {
          const uint8_t b = r.U8("boolean");
          if (b > 1) Corrupt("invalid boolean in row " + std::to_string(n + 1));
          row[i] = b == 1;
          break;
        }
      }
    }
    rows.push_back(std::move(row));
  }
  if (r.Left() != 0) Corrupt("trailing bytes after the last row");
}

}  // namespace

void TFieldDefs::Add(std::string name, TFieldType type, int size, bool required) {
  TFieldDef d;
  d.Name = std::move(name);
  d.DataType = type;
  // Only text fields have a size; keeping it 0 elsewhere makes definitions
  // compare equal after a packet round trip.
  d.Size = type == TFieldType::ftString ? size : 0;
  d.Required = required;
  defs_.push_back(std::move(d));
}

struct TClientDataSet::Impl {
  State state = State::Inactive;
  std::vector<TFieldDef> defs;  // copy of the fields' definitions, in order
  std::vector<std::unique_ptr<TField>> fields;
  std::unordered_map<std::string, int, NoCaseHash, NoCaseEqual> index;  // first field per name
  std::vector<Row> rows;
  int cursor = 0;
  bool eof = true;
  bool bof = true;
  Row buffer;  // the row being appended or edited
  int savedCursor = 0;
  bool savedEof = true;
  bool savedBof = true;

  bool Editing() const { return state == State::Insert || state == State::Edit; }

  void CheckActive() const {
    if (state == State::Inactive) DatabaseError("Cannot perform this operation on a closed dataset");
  }

  const Row* CurrentRow() const {
    if (Editing()) return &buffer;
    if (state == State::Browse && !rows.empty()) return &rows[static_cast<size_t>(cursor)];
    return nullptr;
  }

  const Cell* CurrentCell(int field) const {
    const Row* row = CurrentRow();
    return row ? &(*row)[static_cast<size_t>(field)] : nullptr;
  }

  Cell& WritableCell(int field) {
    if (!Editing()) DatabaseError("Dataset not in edit or insert mode");
    return buffer[static_cast<size_t>(field)];
  }

  void Post() {
    CheckActive();
    if (!Editing()) DatabaseError("Dataset not in edit or insert mode");
    for (size_t i = 0; i < defs.size(); ++i) {
      if (defs[i].Required && buffer[i].index() == 0) {
        DatabaseError("Field '" + defs[i].Name + "' must have a value");
      }
    }
    if (state == State::Insert) {
      rows.push_back(std::move(buffer));
      cursor = static_cast<int>(rows.size()) - 1;
    } else {
      rows[static_cast<size_t>(cursor)] = std::move(buffer);
    }
    buffer.clear();
    state = State::Browse;
    eof = false;
    bof = false;
  }

  void Cancel() {
    if (state == State::Insert) {
      cursor = savedCursor;
      eof = savedEof;
      bof = savedBof;
    }
    if (Editing()) state = State::Browse;
    buffer.clear();
  }

  // Moving or appending stores a pending row first, as the platform does.
  void CheckBrowseMode() {
    CheckActive();
    if (Editing()) Post();
  }

  // Keeps the existing TField objects when the definitions are unchanged, so
  // pointers taken from FieldByName survive reloading a packet of the same shape.
  template <typename MakeField>
  void InstallFields(std::vector<TFieldDef> newDefs, MakeField make) {
    if (defs.size() == newDefs.size() && std::equal(newDefs.begin(), newDefs.end(), defs.begin(), SameDef)) {
      return;
    }
    fields.clear();
    index.clear();
    for (size_t i = 0; i < newDefs.size(); ++i) {
      fields.push_back(make(newDefs[i], static_cast<int>(i)));
      index.emplace(newDefs[i].Name, static_cast<int>(i));
    }
    defs = std::move(newDefs);
  }

  void Open(std::vector<Row> newRows) {
    rows = std::move(newRows);
    buffer.clear();
    state = State::Browse;
    cursor = 0;
    bof = true;
    eof = rows.empty();
  }
};

TClientDataSet::TClientDataSet() : impl_(std::make_unique<Impl>()) {}
TClientDataSet::~TClientDataSet() = default;

namespace {

void ValidateDefs(const std::vector<TFieldDef>& defs) {
  if (defs.empty()) DatabaseError("Cannot create a dataset without field definitions");
  for (const auto& d : defs) {
    if (d.DataType == TFieldType::ftString && d.Size < 1) {
      DatabaseError("Invalid size " + std::to_string(d.Size) + " of field '" + d.Name + "'");
    }
  }
}

}  // namespace

void TClientDataSet::CreateDataSet() {
  std::vector<TFieldDef> defs;
  for (int i = 0; i < FieldDefs.Count(); ++i) defs.push_back(FieldDefs[i]);
  ValidateDefs(defs);
  impl_->Cancel();
  impl_->InstallFields(std::move(defs), [this](const TFieldDef& d, int i) {
    return std::unique_ptr<TField>(new TField(this, d, i));
  });
  impl_->Open({});
}

void TClientDataSet::Close() {
  Impl& m = *impl_;
  m.state = State::Inactive;
  m.fields.clear();
  m.index.clear();
  m.defs.clear();
  m.rows.clear();
  m.buffer.clear();
  m.cursor = 0;
  m.eof = m.bof = true;
}

bool TClientDataSet::Active() const { return impl_->state != State::Inactive; }

void TClientDataSet::Append() {
  Impl& m = *impl_;
  m.CheckBrowseMode();
  m.savedCursor = m.cursor;
  m.savedEof = m.eof;
  m.savedBof = m.bof;
  m.buffer.assign(m.defs.size(), Cell{});
  m.state = State::Insert;
  m.eof = true;
  m.bof = false;
}

void TClientDataSet::Edit() {
  Impl& m = *impl_;
  m.CheckActive();
  if (m.Editing()) return;
  // Editing an empty table appends, as the platform does.
  if (m.rows.empty()) {
    Append();
    return;
  }
  m.buffer = m.rows[static_cast<size_t>(m.cursor)];
  m.state = State::Edit;
}

void TClientDataSet::Post() { impl_->Post(); }

void TClientDataSet::Cancel() { impl_->Cancel(); }

void TClientDataSet::Delete() {
  Impl& m = *impl_;
  m.CheckActive();
  if (m.state == State::Insert) {
    m.Cancel();
    return;
  }
  if (m.rows.empty()) DatabaseError("Cannot perform this operation on an empty dataset");
  m.Cancel();
  m.rows.erase(m.rows.begin() + m.cursor);
  if (m.cursor >= static_cast<int>(m.rows.size())) {
    // The deleted row was the last: stay on the new last row, at the end.
    m.cursor = m.rows.empty() ? 0 : static_cast<int>(m.rows.size()) - 1;
    m.eof = true;
  } else {
    m.eof = false;
  }
  m.bof = m.rows.empty() || m.cursor == 0;
}

void TClientDataSet::EmptyDataSet() {
  Impl& m = *impl_;
  m.CheckActive();
  m.Cancel();
  m.Open({});
}

void TClientDataSet::First() {
  Impl& m = *impl_;
  m.CheckBrowseMode();
  m.cursor = 0;
  m.bof = true;
  m.eof = m.rows.empty();
}

void TClientDataSet::Next() {
  Impl& m = *impl_;
  m.CheckBrowseMode();
  if (m.cursor + 1 < static_cast<int>(m.rows.size())) {
    ++m.cursor;
    m.bof = false;
    m.eof = false;
  } else {
    m.eof = true;
  }
}

void TClientDataSet::Last() {
  Impl& m = *impl_;
  m.CheckBrowseMode();
  m.cursor = m.rows.empty() ? 0 : static_cast<int>(m.rows.size()) - 1;
  m.eof = true;
  m.bof = m.rows.empty();
}

bool TClientDataSet::Eof() const { return impl_->state == State::Inactive || impl_->eof; }
bool TClientDataSet::Bof() const { return impl_->state == State::Inactive || impl_->bof; }

int TClientDataSet::RecordCount() const { return static_cast<int>(impl_->rows.size()); }

int TClientDataSet::RecNo() const { return impl_->rows.empty() ? 0 : impl_->cursor + 1; }

int TClientDataSet::FieldCount() const { return static_cast<int>(impl_->fields.size()); }

TField* TClientDataSet::Fields(int index) const {
  if (index < 0 || index >= FieldCount()) {
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  }
  return impl_->fields[static_cast<size_t>(index)].get();
}

TField* TClientDataSet::FindField(std::string_view name) const {
  const auto it = impl_->index.find(name);
  return it == impl_->index.end() ? nullptr : impl_->fields[static_cast<size_t>(it->second)].get();
}

TField* TClientDataSet::FieldByName(std::string_view name) const {
  TField* f = FindField(name);
  if (!f) DatabaseError("Field '" + std::string(name) + "' not found");
  return f;
}

bool TClientDataSet::Locate(std::string_view keyField, const Variant& value) {
  Impl& m = *impl_;
  m.CheckBrowseMode();
  const TField* field = FieldByName(keyField);
  const size_t col = static_cast<size_t>(field->index_);
  const TFieldType type = field->DataType();

  // The key is converted once into the field's kind; a key that cannot be
  // converted equals no stored value.
  std::function<bool(const Cell&)> match;
  try {
    if (value.IsClearOrNull()) {
      match = [](const Cell& c) { return c.index() == 0; };
    } else if (type == TFieldType::ftString) {
      match = [key = value.AsString()](const Cell& c) {
        return c.index() == 1 && std::get<std::string>(c) == key;
      };
    } else if (type == TFieldType::ftBoolean) {
      match = [key = value.AsBoolean()](const Cell& c) { return c.index() == 4 && std::get<bool>(c) == key; };
    } else {
      const double key = type == TFieldType::ftDateTime ? value.AsDateTime() : value.AsDouble();
      match = [key](const Cell& c) {
        if (c.index() == 2) return static_cast<double>(std::get<int32_t>(c)) == key;
        return c.index() == 3 && std::get<double>(c) == key;
      };
    }
  } catch (const EConvertError&) {
    return false;
  }
  for (size_t i = 0; i < m.rows.size(); ++i) {
    if (match(m.rows[i][col])) {
      m.cursor = static_cast<int>(i);
      m.eof = false;
      m.bof = false;
      return true;
    }
  }
  return false;
}

Variant TClientDataSet::Data() const {
  Impl& m = *impl_;
  if (m.state == State::Inactive) return Variant::Null();
  // As the platform: a row still being appended or edited is stored first
  // rather than silently left out of the packet.
  m.CheckBrowseMode();
  return Variant::FromPacket(std::make_shared<const std::string>(SerializePacket(m.defs, m.rows)));
}

void TClientDataSet::SetData(const Variant& packet) {
  if (packet.IsClearOrNull()) DatabaseError("Missing data provider or data packet");
  if (packet.Type() != VarType::Packet) {
    Corrupt(std::string("variant of type (") + Variant::TypeName(packet.Type()) + ") holds no packet");
  }
  const auto& bytes = packet.AsPacket();
  if (!bytes) DatabaseError("Missing data provider or data packet");
  // Parse completely before touching the dataset, so a corrupt packet leaves
  // it as it was.
  std::vector<TFieldDef> defs;
  std::vector<Row> rows;
  ParsePacket(*bytes, defs, rows);

  Impl& m = *impl_;
  m.Cancel();
  FieldDefs.Clear();
  for (const auto& d : defs) FieldDefs.Add(d.Name, d.DataType, d.Size, d.Required);
  m.InstallFields(std::move(defs), [this](const TFieldDef& d, int i) {
    return std::unique_ptr<TField>(new TField(this, d, i));
  });
  m.Open(std::move(rows));
}

// ---- TField

bool TField::IsNull() const {
  const Cell* c = owner_->impl_->CurrentCell(index_);
  return !c || c->index() == 0;
}

void TField::Clear() { owner_->impl_->WritableCell(index_) = Cell{}; }

Variant TField::Value() const {
  const Cell* c = owner_->impl_->CurrentCell(index_);
  return c ? FromCell(def_, *c) : Variant::Null();
}

std::string TField::AsString() const {
  const Cell* c = owner_->impl_->CurrentCell(index_);
  if (!c) return std::string();
  switch (c->index()) {
    case 0:
      return std::string();
    case 1:
      return std::get<std::string>(*c);
    case 2:
      return std::to_string(std::get<int32_t>(*c));
    case 3:
      return def_.DataType == TFieldType::ftDateTime ? quorl::DateTimeToStr(std::get<double>(*c))
                                                     : quorl::FloatToStr(std::get<double>(*c));
    default:
      return std::get<bool>(*c) ? "True" : "False";
  }
}

int32_t TField::AsInteger() const {
  const Cell* c = owner_->impl_->CurrentCell(index_);
  if (!c || c->index() == 0) return 0;
  if (c->index() == 2) return std::get<int32_t>(*c);
  return FromCell(def_, *c).AsInteger();
}

double TField::AsFloat() const {
  const Cell* c = owner_->impl_->CurrentCell(index_);
  if (!c || c->index() == 0) return 0.0;
  if (c->index() == 3) return std::get<double>(*c);
  if (c->index() == 2) return std::get<int32_t>(*c);
  return FromCell(def_, *c).AsDouble();
}

double TField::AsDateTime() const {
  const Cell* c = owner_->impl_->CurrentCell(index_);
  if (!c || c->index() == 0) return 0.0;
  if (c->index() == 3) return std::get<double>(*c);
  return FromCell(def_, *c).AsDateTime();
}

bool TField::AsBoolean() const {
  const Cell* c = owner_->impl_->CurrentCell(index_);
  if (!c || c->index() == 0) return false;
  if (c->index() == 4) return std::get<bool>(*c);
  return FromCell(def_, *c).AsBoolean();
}

void TField::SetValue(const Variant& v) {
  Cell& target = owner_->impl_->WritableCell(index_);
  target = ToCell(def_, v);
}

void TField::SetAsString(std::string_view v) {
  Cell& target = owner_->impl_->WritableCell(index_);
  if (def_.DataType == TFieldType::ftString) {
    target = std::string(v.substr(0, static_cast<size_t>(def_.Size)));
    return;
  }
  // The platform's typed fields read empty text as null and otherwise parse
  // strictly: "3.5" is no integer.
  const std::string text = quorl::Trim(v);
  if (text.empty()) {
    target = Cell{};
    return;
  }
  const std::string quoted = QuotedName(v);
  switch (def_.DataType) {
    case TFieldType::ftInteger: {
      int32_t i = 0;
      if (!quorl::TryStrToInt(text, i)) throw EConvertError(quoted + " is not a valid integer value");
      target = i;
      break;
    }
    case TFieldType::ftFloat: {
      double d = 0;
      if (!quorl::TryStrToFloat(text, d)) {
        throw EConvertError(quoted + " is not a valid floating point value");
      }
      target = d;
      break;
    }
    case TFieldType::ftDateTime: {
      double d = 0;
      if (!quorl::TryStrToDateTime(text, d)) throw EConvertError(quoted + " is not a valid date and time");
      target = d;
      break;
    }
    case TFieldType::ftBoolean:
      try {
        target = Variant(text).AsBoolean();
      } catch (const EConvertError&) {
        throw EConvertError(quoted + " is not a valid boolean value for field '" + def_.Name + "'");
      }
      break;
    case TFieldType::ftString:
      break;
  }
}

void TField::SetAsInteger(int32_t v) { SetValue(Variant(v)); }
void TField::SetAsFloat(double v) { SetValue(Variant(v)); }
void TField::SetAsDateTime(double v) { SetValue(Variant::FromDateTime(v)); }
void TField::SetAsBoolean(bool v) { SetValue(Variant(v)); }
