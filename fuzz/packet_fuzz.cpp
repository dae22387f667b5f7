// Loads arbitrary bytes as a dataset packet. A packet must either be refused
// with EDatabaseError or load; a loaded packet must write back byte for byte
// (the format has one encoding per table) and load again to an equal table.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "platform/ClientDataSet.h"
#include "platform/Exception.h"

namespace {

// Bitwise for doubles, so NaN payloads count as equal to themselves.
bool SameValue(const Variant& a, const Variant& b) {
  if (a.Type() != b.Type()) return false;
  if (a.Type() == VarType::Double || a.Type() == VarType::DateTime) {
    const double x = a.AsDouble();
    const double y = b.AsDouble();
    return std::memcmp(&x, &y, sizeof x) == 0;
  }
  return a == b;
}

bool SameTable(TClientDataSet& a, TClientDataSet& b) {
  if (a.FieldCount() != b.FieldCount() || a.RecordCount() != b.RecordCount()) return false;
  for (int i = 0; i < a.FieldCount(); ++i) {
    const TField* fa = a.Fields(i);
    const TField* fb = b.Fields(i);
    if (fa->FieldName() != fb->FieldName() || fa->DataType() != fb->DataType() || fa->Size() != fb->Size()) {
      return false;
    }
  }
  a.First();
  b.First();
  for (; !a.Eof(); a.Next(), b.Next()) {
    for (int i = 0; i < a.FieldCount(); ++i) {
      if (!SameValue(a.Fields(i)->Value(), b.Fields(i)->Value())) return false;
    }
  }
  return b.Eof();
}

// Reads every value in every form; conversions may refuse, never crash.
void ReadAll(TClientDataSet& ds) {
  for (ds.First(); !ds.Eof(); ds.Next()) {
    for (int i = 0; i < ds.FieldCount(); ++i) {
      TField* f = ds.Fields(i);
      try {
        (void)f->AsString();
        (void)f->AsInteger();
        (void)f->AsFloat();
        (void)f->AsBoolean();
      } catch (const EConvertError&) {
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto bytes = std::make_shared<const std::string>(reinterpret_cast<const char*>(data), size);
  TClientDataSet ds;
  try {
    ds.SetData(Variant::FromPacket(bytes));
  } catch (const EDatabaseError&) {
    return 0;
  }
  const Variant again = ds.Data();
  if (*again.AsPacket() != *bytes) __builtin_trap();
  TClientDataSet copy;
  copy.SetData(again);
  if (!SameTable(ds, copy)) __builtin_trap();
  ReadAll(copy);
  if (copy.RecordCount() > 0 && !copy.FieldDefs[0].Required) {
    // A loaded row edited and stored still gives a packet that loads.
    copy.First();
    copy.Edit();
    copy.Fields(0)->Clear();
    try {
      copy.Post();
    } catch (const EDatabaseError&) {
      return 0;  // another required field of the loaded row is null
    }
    TClientDataSet third;
    third.SetData(copy.Data());
    if (third.RecordCount() != copy.RecordCount() || !third.Fields(0)->IsNull()) __builtin_trap();
  }
  return 0;
}
