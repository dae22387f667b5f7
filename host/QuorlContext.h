// The host context: which node (site) and member group this till belongs to,
// and where the host database lies.
//
// The context travels as one 8-bit text (the context string, format in
// doc/context-string.md) with every data-pipe and member-account call. The
// host program puts its session string in place with quorl::SetHostSession
// before the package creates its TQuorlContext; a new context object starts
// from that string.
#pragma once

#include <string>

#include "host/HostExport.h"
#include "platform/Interfaces.h"

/// Answers the member group of this till.
struct QUORL_HOST_API IGroupCodeProvider : IInterface {
  /// interface identifier
  static constexpr TGUID IID = TGUID::Parse("{E88D5B2A-DDEB-4A93-9EF6-1D3BBD0F9DFA}");
  virtual std::string GetGroupCode() = 0;  ///< 8-bit (GBK)
};

/// A component: created with `new TQuorlContext(nullptr)` and freed with
/// delete. AddRef/Release do not count and never delete (they return -1), so
/// interface pointers taken from it must not outlive it. QueryInterface
/// answers IInterface and IGroupCodeProvider (and adds no reference).
class QUORL_HOST_API TQuorlContext : public IGroupCodeProvider {
 public:
  /// owner is accepted for the component shape and ignored (always null here).
  /// Loads the current host session string (quorl::HostSession()).
  explicit TQuorlContext(void* owner);
  virtual ~TQuorlContext();
  TQuorlContext(const TQuorlContext&) = delete;
  TQuorlContext& operator=(const TQuorlContext&) = delete;

  /// IInterface and IGroupCodeProvider; E_NOINTERFACE otherwise
  HRESULT QueryInterface(const TGUID& iid, void** obj) override;
  int32_t AddRef() override { return -1; }   ///< not counted: returns -1
  int32_t Release() override { return -1; }  ///< not counted, never deletes: returns -1
  std::string GetGroupCode() override { return groupCode_; }

  /// The context string of the current values. SetAsString replaces all three
  /// values with those of the string (a value the string lacks becomes empty);
  /// it never fails.
  std::string GetAsString() const;
  /// Replaces node, group and database location with those of a context string.
  void SetAsString(const std::string& contextString);

  std::string NodeCode() const { return nodeCode_; }                       ///< The node (site) code, 8-bit.
  void SetNodeCode(std::string value) { nodeCode_ = std::move(value); }    ///< Sets the node code.
  std::string GroupCode() const { return groupCode_; }                     ///< The member group code, 8-bit.
  void SetGroupCode(std::string value) { groupCode_ = std::move(value); }  ///< Sets the group code.
  /// Where the host database is (a file path for SQLite), 8-bit.
  std::string DatabaseLocation() const { return databaseLocation_; }
  /// Sets the database location (SQLite path or PostgreSQL connection string).
  void SetDatabaseLocation(std::string value) { databaseLocation_ = std::move(value); }

 private:
  std::string nodeCode_;
  std::string groupCode_;
  std::string databaseLocation_;
};

namespace quorl {

/// The process-wide session string that new TQuorlContext objects load.
/// Empty until the host sets it.
QUORL_HOST_API void SetHostSession(const std::string& contextString);
QUORL_HOST_API std::string HostSession();  ///< The session string set last; empty when none.

/// Builds a context string from its three values (8-bit), escaping them so
/// any text, paths with ';' or '=' included, survives the round trip.
QUORL_HOST_API std::string MakeContextString(const std::string& node, const std::string& group,
                                             const std::string& databaseLocation);

/// The three values of a context string. Tolerant: unknown keys and malformed
/// parts are skipped, a missing value is empty, bad escapes stay as written.
struct QUORL_HOST_API ContextValues {
  std::string node;              ///< node (site) code
  std::string group;             ///< member group code
  std::string databaseLocation;  ///< SQLite path or PostgreSQL connection string
};
/// Splits a context string (see ContextValues); never raises.
QUORL_HOST_API ContextValues ParseContextString(const std::string& contextString);

}  // namespace quorl
