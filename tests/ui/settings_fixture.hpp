// The settings windows opened through the real settings exports, in process,
// and driven as their owner drives them: steps run one after the other from
// timers of the window's own modal loop, and the keys a step queues
// (platform::PressKey, TypeText) go through that loop before the next step.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/ini_items.hpp"
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

// Steps that run one after the other, each from a timer of whatever modal
// loop runs next on this thread (a step that opens a modal window returns
// when it has closed: the next step runs inside it). Steps that never ran
// are a failure.
class Script {
 public:
  explicit Script(std::vector<std::function<void()>> steps)
      : steps_(std::make_shared<std::vector<std::function<void()>>>(std::move(steps))) {
    Next(steps_, ran_);
  }
  ~Script() {
    EXPECT_EQ(*ran_, steps_->size()) << "the window was not open for every step";
    *ran_ = steps_->size();  // a timer still waiting does nothing
  }

 private:
  using Steps = std::shared_ptr<std::vector<std::function<void()>>>;
  static void Next(Steps steps, std::shared_ptr<std::size_t> ran) {
    platform::RunSoon([steps, ran] {
      if (*ran >= steps->size()) return;
      const std::size_t now = (*ran)++;
      Next(steps, ran);
      (*steps)[now]();
    });
  }
  Steps steps_;
  std::shared_ptr<std::size_t> ran_ = std::make_shared<std::size_t>(0);
};

class SettingsWindowTest : public CoreTest {
 protected:
  using Step = std::function<void(ui::SettingsWindow&)>;

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

  // Opens the settings window through `open`, runs the steps in it and
  // closes it after the last.
  std::int32_t Drive(Export open, std::vector<Step> steps) {
    std::vector<std::function<void()>> inWindow;
    for (std::size_t i = 0; i < steps.size(); ++i) {
      inWindow.push_back([step = steps[i], last = i + 1 == steps.size()] {
        if (ui::SettingsWindow* w = ui::OpenedSettingsWindow()) step(*w);
        if (ui::SettingsWindow* w = ui::OpenedSettingsWindow(); w && last) platform::DestroyNow(w->handle());
      });
    }
    Script script(std::move(inWindow));
    return open();
  }

  // The owner clicks into a box (or the list) and presses keys there.
  static void Focus(ui::SettingsWindow& w, const char* control) { platform::SetFocusTo(w.Control(control)); }
  static std::string Text(ui::SettingsWindow& w, const char* box) { return platform::WindowTextGbk(w.Control(box)); }
  static std::string Admin(const std::string& key) { return ReadAdminItem(key, "<missing>"); }

  WebServer server;
};

}  // namespace zoq::testing
