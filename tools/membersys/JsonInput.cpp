#include "tools/membersys/JsonInput.h"

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace quorl::membersys {

namespace {

// Builds the document as the default parser would, except that numbers keep
// their text: the parser hands floating-point numbers over with the text they
// were read from, which a double would round ("0.10" as 0.1).
class DocumentBuilder : public nlohmann::json_sax<Json> {
 public:
  explicit DocumentBuilder(std::string path) : path_(std::move(path)) {}
  Json Take() { return std::move(root_); }

  bool null() override { return Put(nullptr); }
  bool boolean(bool value) override { return Put(value); }
  bool number_integer(number_integer_t value) override { return Put(std::to_string(value)); }
  bool number_unsigned(number_unsigned_t value) override { return Put(std::to_string(value)); }
  bool number_float(number_float_t, const string_t& text) override { return Put(text); }
  bool string(string_t& value) override { return Put(value); }
  bool binary(binary_t&) override { return Put(nullptr); }  // JSON text has none
  bool start_object(std::size_t) override {
    open_.push_back(Place(Json::object()));
    return true;
  }
  bool key(string_t& name) override {
    if (open_.back()->contains(name)) throw std::runtime_error(path_ + ": key '" + name + "' given twice");
    key_ = name;
    return true;
  }
  bool end_object() override {
    open_.pop_back();
    return true;
  }
  bool start_array(std::size_t) override {
    open_.push_back(Place(Json::array()));
    return true;
  }
  bool end_array() override {
    open_.pop_back();
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& ex) override {
    // The library's message starts with its own error code in brackets.
    std::string message = ex.what();
    if (const size_t end = message.find("] "); message.rfind("[json.", 0) == 0 && end != std::string::npos)
      message.erase(0, end + 2);
    throw std::runtime_error(path_ + ": " + message);
  }

 private:
  bool Put(Json value) {
    Place(std::move(value));
    return true;
  }
  // Only the innermost open container grows, so the pointers to the open
  // containers above it stay valid.
  Json* Place(Json value) {
    if (open_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    Json& top = *open_.back();
    if (top.is_array()) {
      top.push_back(std::move(value));
      return &top.back();
    }
    top[key_] = std::move(value);
    return &top[key_];
  }

  std::string path_;
  Json root_;
  std::vector<Json*> open_;
  std::string key_;
};

}  // namespace

Json ReadJsonFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::stringstream text;
  text << in.rdbuf();
  DocumentBuilder builder(path);
  const std::string content = text.str();
  Json::sax_parse(content, &builder);
  return builder.Take();
}

std::string TextOf(const Json& value, const std::string& where) {
  if (!value.is_string())
    throw std::runtime_error(where + ": expected text or a number, not " + value.type_name());
  return value.get<std::string>();
}

}  // namespace quorl::membersys
