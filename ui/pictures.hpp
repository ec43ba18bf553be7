// The settings windows' built-in pictures: PNG data drawn by ui/pictures.py
// at build time (the labels on them are drawn by the windows).
#pragma once
#include <string_view>

namespace zoq::ui {

enum class Picture {
  Background,            // 800 x 500: the window, with the logo column
  NavPlain,              // 122 x 50: a navigation button
  NavLit,                // 122 x 50: the same, highlighted
  ExitLit,               // 122 x 50: the close button
  ExitPressed,           // 122 x 50
  SwitchOnPicture,       // 15 x 15: a switch that is on
  SwitchOffPicture,      // 15 x 15: a switch that is off
  PicButtonOnPicture,    // 70 x 20: a permission for all members
  PicButtonOffPicture,   // 70 x 20: a permission for the owner only
  ToggleNormal,          // 44 x 20: a switch's button
  TogglePressed,         // 44 x 20
  OwnerHint,             // 200 x 35: the owner box's hint
  AvatarOverlayPicture,  // 100 x 100: the frame over the avatar
  Page,                  // 626 x 468: a page's container
  ForumNormal,           // 170 x 24: the forum button
  ForumPressed,          // 170 x 24
  LibraryHeader,         // 635 x 40: the library page's header strip
  LibraryPanel,          // 626 x 171: the editor's panel
  SearchButton,          // 30 x 30: a magnifier
  ActionDelete,          // 87 x 30: the editor's buttons, a sign on the left
  ActionEraser,
  ActionInsert,
  ActionSave,
  ChooserBackground,  // 200 x 280: the account chooser
  Count
};

std::string_view PictureData(Picture picture);

}  // namespace zoq::ui
