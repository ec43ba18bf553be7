// The settings window opened through the real settings exports, in process,
// and driven by messages from a thread timer that fires inside its modal loop.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/settings.hpp"
#include "platform/gui.hpp"
#include "platform/window.hpp"
#include "tests/core/core_fixture.hpp"
#include "tests/web/web_server.hpp"
#include "ui/settings_window.hpp"

#define ZOQ_DECLARE_EXPORT(name) extern "C" std::int32_t __stdcall name();
ZOQ_DECLARE_EXPORT(set)
ZOQ_DECLARE_EXPORT(OQ_SetUp)
ZOQ_DECLARE_EXPORT(MQset)
ZOQ_DECLARE_EXPORT(SP_SetUp)
ZOQ_DECLARE_EXPORT(ER_SetUp)
ZOQ_DECLARE_EXPORT(XQ_SetUp)
ZOQ_DECLARE_EXPORT(MQ_Set)
ZOQ_DECLARE_EXPORT(ISky_Menu)
ZOQ_DECLARE_EXPORT(Settings)
ZOQ_DECLARE_EXPORT(ZOQ_MeKyu)
ZOQ_DECLARE_EXPORT(ER_DestroyPlugin)
#undef ZOQ_DECLARE_EXPORT

namespace zoq::testing {

using platform::WindowHandle;
using Export = std::int32_t(__stdcall*)();

class SettingsWindowTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    LoadSettings();
    Plugin().HostType = kHostVlq;
    Plugin().RobotAccount = "10001";
    Plugin().MakerGroupNumber = "735921846";
    StartAccount();
    ui::HomeWebSettings() = {server.base(), server.base(), "https://bbs.example", {1000, 1000, 1000}};
  }
  void TearDown() override {
    ui::ResetHomeWebSettings();
    CoreTest::TearDown();
  }

  // Opens the window through `open`, runs `drive` inside it and closes it.
  std::int32_t Drive(Export open, std::function<void(ui::SettingsWindow&)> drive) {
    bool ran = false;
    platform::RunSoon([&] {
      ran = true;
      ui::SettingsWindow* window = ui::OpenedSettingsWindow();
      if (!window) return;
      drive(*window);
      if (ui::OpenedSettingsWindow()) platform::DestroyNow(ui::OpenedSettingsWindow()->handle());
    });
    const std::int32_t result = open();
    EXPECT_TRUE(ran) << "the window did not open";
    return result;
  }

  std::string Admin(const std::string& key) { return ReadAdminItem(key, "<missing>"); }

  WebServer server;
};

}  // namespace zoq::testing
