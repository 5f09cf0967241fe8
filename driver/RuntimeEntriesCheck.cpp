// Compile-time checks of the generated entry table; this file adds no code.
#include <string_view>
#include <type_traits>

#include "Driver.h"

namespace {

constexpr std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '(')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == ')')) text.remove_suffix(1);
  return text;
}

constexpr bool IsNameChar(char c) {
  return c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Takes the text up to the next comma off the front of `list`.
constexpr std::string_view NextItem(std::string_view& list) {
  const size_t comma = list.find(',');
  const std::string_view item = Trim(list.substr(0, comma));
  list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
  return item;
}

// True when the argument list names the parameters of the parameter list, in
// their order: the entry table's two lists for one function must agree, or a
// forwarder would pass arguments to the wrong places.
constexpr bool ArgumentsFollowParameters(std::string_view params, std::string_view args) {
  params = Trim(params);
  args = Trim(args);
  while (!params.empty() || !args.empty()) {
    std::string_view param = NextItem(params);
    const std::string_view arg = NextItem(args);
    size_t start = param.size();
    while (start > 0 && IsNameChar(param[start - 1])) --start;
    if (param.substr(start) != arg || arg.empty()) return false;
  }
  return true;
}

static_assert(ArgumentsFollowParameters("(SQLHSTMT a, SQLLEN* b)", "(a, b)"));
static_assert(!ArgumentsFollowParameters("(SQLHSTMT a, SQLLEN* b)", "(b, a)"));
static_assert(!ArgumentsFollowParameters("(SQLHSTMT a, SQLLEN* b)", "(a)"));

// Each row must also carry the ODBC headers' own prototype.
#define SARNVALE_CHECK_ENTRY(Name, Params, Args)                                                            \
  static_assert(ArgumentsFollowParameters(#Params, #Args), "arguments out of step with parameters: " #Name); \
  static_assert(std::is_same_v<decltype(&::Name), SQLRETURN(SQL_API*) Params>, "not the ODBC prototype: " #Name);
SARNVALE_RUNTIME_ENTRIES(SARNVALE_CHECK_ENTRY, SARNVALE_CHECK_ENTRY)
#undef SARNVALE_CHECK_ENTRY

}  // namespace
