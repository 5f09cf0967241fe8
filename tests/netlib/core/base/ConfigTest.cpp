#include <gtest/gtest.h>

#include <string>

#include "core/base/ComponentBase.h"
#include "core/base/ConfigSetting.h"

using tornell::ComponentBase;
using tornell::ConfigSetting;

namespace {

struct GrammarCase {
  const char* text;
  const char* name;
  const char* value;
  const char* indexText;
  int index;
  int query;
};

// Every way a request can be written, as a host writes it.
const GrammarCase kGrammar[] = {
    {"CodePage=932", "CodePage", "932", "", -1, 0},
    {"CodePage", "CodePage", "", "", -1, 1},
    {"", "", "", "", -1, 1},
    {"Key=", "Key", "", "", -1, 0},
    {"Key[3]=v", "Key", "v", "3", 3, 0},
    {"Key(3)=v", "Key", "v", "3", 3, 0},
    {"Key(3)", "Key", "", "3", 3, 1},
    {"Key[ 7 ]=v", "Key", "v", "7", 0, 0},     // the number is read before trimming
    {"Key[1][2]=v", "Key", "v", "12", 12, 0},  // a second group continues the first
    {"Key[2]x=v", "Keyx", "v", "2", 2, 0},
    {"Key(3", "Key", "", "", -1, 1},           // unclosed: a query without an index
    {"Key[a=b]=c", "Key", "b]=c", "", -1, 0},  // "=" ends the name even inside brackets
    {"Key=a=b", "Key", "a=b", "", -1, 0},
    {"Key=  a b  ", "Key", "a b", "", -1, 0},
    {"Key=  \"  a b  \"  ", "Key", "  a b  ", "", -1, 0},
    {"Key=\"abc", "Key", "abc", "", -1, 0},
    {"Key=abc\"", "Key", "abc", "", -1, 0},
    {"Key=\"\"\"", "Key", "\"", "", -1, 0},  // only one quote is dropped at each end
    {"Key=\"", "Key", "", "", -1, 0},
    {"Key=    ", "Key", "", "", -1, 0},
    {"Key=a\\\"b", "Key", "a\\\"b", "", -1, 0},  // a backslash escapes nothing
    {"Key =v", "Key ", "v", "", -1, 0},
    {"Key=\ta\t", "Key", "\ta\t", "", -1, 0},  // only spaces are trimmed
};

TEST(ConfigSettingTest, GrammarTable) {
  for (const GrammarCase& c : kGrammar) {
    SCOPED_TRACE(c.text);
    ConfigSetting s;
    ASSERT_EQ(0, s.Parse(c.text));
    EXPECT_STREQ(c.name, s.name.CStr());
    EXPECT_STREQ(c.value, s.value.CStr());
    EXPECT_STREQ(c.indexText, s.indexText.CStr());
    EXPECT_EQ(c.index, s.index);
    EXPECT_EQ(c.query, s.IsQuery() ? 1 : 0);
  }
  ConfigSetting none;
  EXPECT_EQ(0, none.Parse(nullptr));
  EXPECT_FALSE(none.IsQuery());
  EXPECT_STREQ("", none.name.CStr());
}

TEST(ConfigSettingTest, NumbersAndBooleans) {
  struct NumberCase {
    const char* value;
    int asInt;
    uint32_t asUnsigned;
    int64_t asInt64;
  };
  const NumberCase numbers[] = {
      {"42", 42, 42u, 42},
      {"-7", -7, 4294967289u, -7},
      {"0x10", 16, 16u, 16},
      {"0XfF", 255, 255u, 255},
      {"0xFFFFFFFF", -1, 4294967295u, 4294967295LL},
      {"4294967295", -1, 4294967295u, 4294967295LL},
      {"12abc", 12, 12u, 12},
      {"+5", 5, 5u, 5},
      {"x5", 0, 0u, 0},
      {"", 0, 0u, 0},
      {"0x", 0, 0u, 0},
  };
  for (const NumberCase& c : numbers) {
    SCOPED_TRACE(c.value);
    ConfigSetting s;
    ASSERT_EQ(0, s.Parse((std::string("N=") + c.value).c_str()));
    EXPECT_EQ(c.asInt, s.AsInt());
    EXPECT_EQ(c.asUnsigned, s.AsUnsigned());
    EXPECT_EQ(c.asInt64, s.AsInt64());
  }
  const std::pair<const char*, bool> booleans[] = {
      {"TRUE", true}, {"True", true},   {"true", true},  {"yes", true},  {"YES", true},
      {"1", true},    {"on", false},    {"2", false},    {"", false},    {"False", false},
      {"truex", false}, {"tru", false}, {"01", false},
  };
  for (const auto& [value, expected] : booleans) {
    SCOPED_TRACE(value);
    ConfigSetting s;
    ASSERT_EQ(0, s.Parse((std::string("B=") + value).c_str()));
    EXPECT_EQ(expected, s.AsBool());
  }
}

// A derived handler with a key of its own, as every component has.
class WithExtraKey : public ComponentBase {
 public:
  int extra = 0;
  int Config(ConfigSetting* setting, const char*& answer) override {
    if (setting->NameIs("Extra")) {
      if (setting->IsQuery()) return SetConfigAnswer(answer, extra);
      extra = setting->AsInt();
      return 0;
    }
    return ComponentBase::Config(setting, answer);
  }
};

struct KeyStep {
  const char* text;
  int status;
  const char* answer;
};

// Steps on one component, in order; each answer follows the ones before.
const KeyStep kKeySteps[] = {
    {"codepage=0x10", 0, ""},
    {"CodePage", 0, "16"},
    {"CODEPAGE=932", 0, ""},
    {"CodePage", 0, "932"},
    {"CharsetMode=200", 0, ""},
    {"charsetmode", 0, "-56"},
    {"LogDebugOption=0xFFFFFFFF", 0, ""},
    {"LogDebugOption", 0, "4294967295"},
    {"LogDebugFile = x", -1, ""},  // the space belongs to the name
    {"LastError", 0, "Unknown config setting."},
    {"LastError=anything", 0, ""},
    {"LastError", 0, "Unknown config setting."},
    {"LogDebugFile=/tmp/base.log", 0, ""},
    {"LogDebugFile", 0, "/tmp/base.log"},
    {"ZeroMemory=yes", 0, ""},
    {"ZeroMemory", 0, "True"},
    {"ZeroMemory=on", 0, ""},
    {"ZeroMemory", 0, "False"},
    {"Extra[2]=0x20", 0, ""},
    {"EXTRA", 0, "32"},
    {"NoSuchKey=1", -1, ""},
    {"NoSuchKey", -1, ""},
};

TEST(ComponentBaseTest, KeysThroughTheHandlerChain) {
  WithExtraKey component;
  for (const KeyStep& step : kKeySteps) {
    SCOPED_TRACE(step.text);
    const char* answer = "unset";
    EXPECT_EQ(step.status, component.ConfigText(step.text, answer));
    EXPECT_STREQ(step.answer, answer);
    if (step.status == -1) {
      EXPECT_STREQ("Unknown config setting.", component.GetLastErrorText());
    }
  }
  EXPECT_EQ(932, component.GetCodePage());
  EXPECT_EQ(-56, component.GetCharsetMode());
  EXPECT_EQ(1, component.IsLogging());
  const char* answer = nullptr;
  EXPECT_EQ(0, component.ConfigText("LogDebugFile=", answer));
  EXPECT_EQ(0, component.IsLogging());
  EXPECT_EQ(0, component.GetLastErrorCode());  // the handler never stores the code
}

TEST(ComponentBaseTest, ErrorOperations) {
  ComponentBase c;
  c.SetLastErrorCode(9);
  EXPECT_EQ(0, c.SetErrorText("a", 5, "b"));
  EXPECT_EQ(0, c.GetLastErrorCode());
  EXPECT_STREQ("a5b", c.GetLastErrorText());
  c.AppendErrorText("-", -3, "!");
  EXPECT_STREQ("a5b--3!", c.GetLastErrorText());

  EXPECT_EQ(0, c.SetError(7, "seven"));
  EXPECT_EQ(7, c.GetLastErrorCode());
  EXPECT_EQ(42, c.ReturnError(42, "forty-two"));
  EXPECT_EQ(7, c.GetLastErrorCode());
  EXPECT_STREQ("forty-two", c.GetLastErrorText());
  EXPECT_EQ(200, c.FilterOutOfMemory(200));
  EXPECT_STREQ("Out of memory.", c.GetLastErrorText());
  EXPECT_EQ(5, c.FilterOutOfMemory(5));
  EXPECT_STREQ("Out of memory.", c.GetLastErrorText());

  c.SetErrorText(nullptr);
  EXPECT_EQ(1, c.IsErrorTextEmpty());
  c.SetError(3, "x");
  c.Reset();
  EXPECT_EQ(0, c.GetLastErrorCode());
  EXPECT_EQ(1, c.IsErrorTextEmpty());

  const char* answer = nullptr;
  EXPECT_EQ(0, c.SetConfigAnswer(answer, 4294967297L));  // low 32 bits, signed
  EXPECT_STREQ("1", answer);
  EXPECT_EQ(0, c.SetConfigAnswer(answer, 0xFFFFFFFFUL));
  EXPECT_STREQ("-1", answer);
  EXPECT_EQ(0, c.SetConfigAnswer(answer, static_cast<const char*>(nullptr)));
  EXPECT_STREQ("", answer);
}

}  // namespace
