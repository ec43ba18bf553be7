// Information records: the contact number's sources, the text descriptor and
// the XQ JSON, in-process and through the real DLL's exports.
#include <gtest/gtest.h>

#include "core/info/info_records.hpp"
#include "core/plugin.hpp"
#include "core/reply/no_account_picture.hpp"
#include "hosts/dll/wx/wx_host_api.hpp"
#include "text/text.hpp"
#include "core/web_addresses.hpp"
#include "tests/core/core_fixture.hpp"
#include "tests/web/web_server.hpp"

// The XQ and ISky hosts' information exports.
extern "C" __stdcall const char* XQ_Create(const char*);
// MyQQ's.
extern "C" __stdcall const char* MQ_Info();
extern "C" __stdcall const char* ISky_Information(std::int32_t);
// The WeChat-style host's.
extern "C" __stdcall const char* Information();

namespace zoq::testing {
namespace {

const std::string kDescriptionHead =
    "ZOQ·关键词 精美自定义 高效稳定 \r\n支持远程控制 绿茶/一言/API对接变量一应俱全.. \r\nZOQ ·官方QQ群: ";

class InfoTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    Contacts().first = web_.base() + "/Save/QQTeam.txt";
    Contacts().second = web_.base() + "/QQTeam.txt";
  }
  void TearDown() override {
    ResetContacts();
    CoreTest::TearDown();
  }
  WebServer web_;
};

TEST_F(InfoTest, ContactNumberFallsThroughShortAnswers) {
  web_.Serve("/Save/QQTeam.txt", "12345");
  EXPECT_EQ(DescriptionText(), kDescriptionHead + "12345");
  EXPECT_EQ(web_.Targets().size(), 1u);

  web_.Serve("/Save/QQTeam.txt", "1234");
  web_.Serve("/QQTeam.txt", std::string("67890\0junk", 10));
  EXPECT_EQ(DescriptionText(), kDescriptionHead + "67890");  // up to the first NUL

  web_.Serve("/QQTeam.txt", "");
  EXPECT_EQ(DescriptionText(), kDescriptionHead + web::kContactBuiltIn);
  EXPECT_EQ(Plugin().MakerGroupNumber.get(), web::kContactBuiltIn);
  EXPECT_EQ(std::string(web::kContactBuiltIn).size(), 9u);
}

TEST_F(InfoTest, OnlyFiveToTwelveDigitsAreAContactNumber) {
  web_.Serve("/Save/QQTeam.txt", " 123456789012\r\n");
  EXPECT_EQ(DescriptionText(), kDescriptionHead + "123456789012");  // blanks trimmed
  for (const char* answer : {"1234567890123", "12\"3\\45", "<html>404</html>", "12 345"}) {
    web_.Serve("/Save/QQTeam.txt", answer);
    web_.Serve("/QQTeam.txt", "");
    EXPECT_EQ(DescriptionText(), kDescriptionHead + web::kContactBuiltIn) << answer;
  }
}

TEST_F(InfoTest, AnErrorAnswerIsNoContactNumber) {
  // The first address answers 404 with an error page of its own.
  web_.Serve("/QQTeam.txt", "24680");
  EXPECT_EQ(DescriptionText(), kDescriptionHead + "24680");
}

TEST_F(InfoTest, TextDescriptor) {
  web_.Serve("/Save/QQTeam.txt", "12345\r\n");
  const std::string record = TextInfoRecord();
  EXPECT_EQ(record, "插件名称{ZOQ·关键词}\r\n插件版本{2.2.6}\r\n插件作者{Tolvane}\r\n插件说明{" + kDescriptionHead +
                        "12345}\r\n插件skey{4711QZXCVBN8802264POIUYT}\r\n插件sdk{S3}");
}

TEST_F(InfoTest, XqRecordEscapesCrLf) {
  web_.Serve("/Save/QQTeam.txt", "12345");
  const std::string record = XQ_Create("");
  EXPECT_EQ(record,
            "{\"name\":\"ZOQ·关键词\",\"pver\":\"2.2.6\",\"sver\":3,\"author\":\"Tolvane\",\"desc\":\""
            "ZOQ·关键词 精美自定义 高效稳定 \\r\\n支持远程控制 绿茶/一言/API对接变量一应俱全.. \\r\\nZOQ ·官方QQ群: "
            "12345\",\"prio\":999}");
  EXPECT_EQ(Plugin().XqPluginName.get(), "ZOQ·关键词");
}

TEST_F(InfoTest, MyQqRecordIsCompactJsonWithLineFeedEscapes) {
  web_.Serve("/Save/QQTeam.txt", "12345\r\n");
  EXPECT_EQ(std::string(MQ_Info()),
            "{\"name\":\"ZOQ·关键词\",\"author\":\"Tolvane\",\"description\":\""
            "ZOQ·关键词 精美自定义 高效稳定 \\n支持远程控制 绿茶/一言/API对接变量一应俱全.. \\nZOQ ·官方QQ群: 12345\","
            "\"version\":\"2.2.6\",\"skey\":\"Rq7TzW2mKp4NvX9cLb\",\"sdk\":\"S1\"}");
}

TEST_F(InfoTest, IskyRecordIsCompactJsonInItsOrder) {
  web_.Serve("/Save/QQTeam.txt", "12345");
  const std::string record = ISky_Information(42);
  EXPECT_EQ(record,
            "{\"id\":\"ZOQ·关键词\",\"name\":\"ZOQ·关键词\",\"author\":\"Quillane\",\"version\":\"2.2.6\","
            "\"brief\":\"ZOQ·关键词 精美自定义 高效稳定 \\r\\n支持远程控制 绿茶/一言/API对接变量一应俱全.. \\r\\nZOQ ·官方QQ群: "
            "12345\",\"menu\":true,\"sdk\":2}");
  EXPECT_EQ(Plugin().HostType.load(), kHostNone);  // the kind comes with ISky_Initialization
}

TEST_F(InfoTest, WxRecordIsTheAdaptersJsonOfTheFilledRecord) {
  web_.Serve("/Save/QQTeam.txt", "12345");
  const std::string record = Information();
  const WxPluginInfoRecord info = Plugin().WxPluginInfo();
  EXPECT_EQ(info.description, kDescriptionHead + "12345");
  EXPECT_EQ(info.icon, NoAccountPicture());
  EXPECT_EQ(record, "{\"SdkVersion\":6,\"PluginID\":\"ZOQ·关键词\",\"Name\":\"ZOQ·关键词\",\"Author\":\"Tolvane\","
                    "\"Version\":\"2.2.6\",\"Desc\":\"ZOQ·关键词 精美自定义 高效稳定 \\r\\n支持远程控制 "
                    "绿茶\\/一言\\/API对接变量一应俱全.. \\r\\nZOQ ·官方QQ群: 12345\",\"Img\":\"" +
                        text::ReplaceAll(WxHostApi::Base64Encode(info.icon), "/", "\\/") + "\",\"priority\":2,\"Contact\":\"1357924680\"}");
}

TEST(InfoExports, TextRecordsAreIdenticalAndKeptPerExport) {
  Host host(FreshRunFolder("info-exports"));
  ASSERT_TRUE(host.Load());
  std::string first;
  for (const char* name : {"info", "MQinfo", "OQ_Create", "SP_Create", "ER_Create"}) {
    const CallResult r = host.CallText(name);
    ASSERT_TRUE(r.ok) << name << " " << r.raw;
    EXPECT_EQ(r.stackSkew, 0) << name;
    if (first.empty()) first = r.text;
    EXPECT_EQ(r.text, first) << name;
  }
  // No web service answers here: the built-in number ends the description.
  EXPECT_NE(first.find(std::string("ZOQ ·官方QQ群: ") + web::kContactBuiltIn + "}\r\n插件skey{"), std::string::npos);

  const CallResult xq = host.CallText("XQ_Create", {std::string("ignored")});
  ASSERT_TRUE(xq.ok) << xq.raw;
  EXPECT_EQ(xq.stackSkew, 0);
  EXPECT_EQ(xq.text.rfind("{\"name\":\"ZOQ·关键词\",\"pver\":\"2.2.6\",\"sver\":3,", 0), 0u);
  EXPECT_TRUE(xq.text.ends_with(std::string(web::kContactBuiltIn) + "\",\"prio\":999}")) << xq.text;

  const CallResult myqq = host.CallText("MQ_Info");
  ASSERT_TRUE(myqq.ok) << myqq.raw;
  EXPECT_EQ(myqq.stackSkew, 0);
  EXPECT_EQ(myqq.text, "{\"name\":\"ZOQ·关键词\",\"author\":\"Tolvane\",\"description\":\""
                       "ZOQ·关键词 精美自定义 高效稳定 \\n支持远程控制 绿茶/一言/API对接变量一应俱全.. \\nZOQ ·官方QQ群: " +
                           std::string(web::kContactBuiltIn) +
                           "\",\"version\":\"2.2.6\",\"skey\":\"Rq7TzW2mKp4NvX9cLb\",\"sdk\":\"S1\"}");
}

}  // namespace
}  // namespace zoq::testing
