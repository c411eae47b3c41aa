// Positions and sizes of the main window and its controls, in twips (1/1440 inch).
#pragma once

namespace cubemill::ui {

// A control's box in twips. Controls on a tab are placed relative to the top-left corner of
// the tab control, tab strip included; the tab control and the cube picture relative to the
// window's client area.
struct TwipsRect {
  int left;
  int top;
  int width;
  int height;
};

// Twips per pixel at 96 dots per inch.
inline constexpr int kTwipsPerPixel = 15;

inline constexpr int kClientWidth = 12960;
inline constexpr int kClientHeight = 4530;

inline constexpr TwipsRect kSSTab1 = {120, 120, 10935, 4275};
inline constexpr TwipsRect kImageCube = {11100, 180, 1740, 1695};
inline constexpr TwipsRect kList1 = {90, 510, 10695, 3570};
inline constexpr TwipsRect kInfoText = {180, 480, 10575, 3615};
inline constexpr TwipsRect kTextFileOqy = {1680, 720, 8235, 315};
inline constexpr TwipsRect kTextInputLogDir = {1680, 1200, 8235, 315};
inline constexpr TwipsRect kCheckInputVBS = {120, 1620, 1755, 435};
inline constexpr TwipsRect kComboInputCubTS = {1680, 2100, 4515, 315};
inline constexpr TwipsRect kLabel1 = {180, 780, 1335, 375};
inline constexpr TwipsRect kLabel2 = {180, 1260, 1095, 255};
inline constexpr TwipsRect kLabel3 = {180, 2160, 1275, 255};
inline constexpr TwipsRect kCommandInfoSelectOQY = {9960, 720, 375, 315};
inline constexpr TwipsRect kCommandFileGo = {8100, 3540, 2535, 435};

// Indexes of the three tabs.
inline constexpr int kTabProgress = 0;
inline constexpr int kTabFile = 1;
inline constexpr int kTabInfo = 2;

}  // namespace cubemill::ui
