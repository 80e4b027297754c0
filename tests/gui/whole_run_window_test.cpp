// View > Whole Run during and after a measurement against ivra-sim: it shows
// every sample, zooms by a drag, returns with Escape, and switching it off
// gives back the live view exactly as it was.
#include <gtest/gtest.h>

#include <wx/event.h>
#include <wx/image.h>

#include <cstdlib>

#include "tests/gui/gui_test_support.h"
#include "ui/command_ids.h"
#include "ui/ivra_view.h"

namespace {

void SendMouse(wxEventType type, int x, int y) {
  wxMouseEvent event(type);
  event.m_x = x;
  event.m_y = y;
  event.SetEventObject(View()->Canvas());
  View()->Canvas()->GetEventHandler()->ProcessEvent(event);
}

void SendKey(int key) {
  wxKeyEvent event(wxEVT_KEY_DOWN);
  event.m_keyCode = key;
  event.SetEventObject(View()->Canvas());
  View()->Canvas()->GetEventHandler()->ProcessEvent(event);
}

}  // namespace

TEST(WholeRunWindow, TogglesZoomsAndLeavesTheLiveViewUnchanged) {
  SimProcess sim(TempPath("whole-run-sim.log"), {"--noise", "5e-8"});
  ASSERT_TRUE(sim.Running());
  ASSERT_TRUE(Ports().SetDevicePath(2, sim.DevicePath()));
  ASSERT_TRUE(PumpUntil([] { return View()->TimerRunning(); }, 5000));
  EXPECT_FALSE(MenuChecked(ID_VIEW_WHOLE_RUN)) << "the live view is the default";

  DialogDriver driver;
  ASSERT_TRUE(StartThroughDialog(driver, TempPath("whole-run.dat"), "600"));
  ASSERT_TRUE(PumpUntilCollected([] { return LatestSnapshot()->history.count >= 3; }, 20000));
  // Switched on while measuring: it follows the run live.
  PostMenu(ID_VIEW_WHOLE_RUN);
  EXPECT_TRUE(MenuChecked(ID_VIEW_WHOLE_RUN));
  EXPECT_TRUE(View()->WholeRunShown());
  const int shownAt = LatestSnapshot()->counters.samplesTaken;
  ASSERT_TRUE(PumpUntilCollected([shownAt] { return LatestSnapshot()->counters.samplesTaken >= shownAt + 2; }, 20000));
  Pump(300);
  EXPECT_TRUE(SaveWindowScreenshot("ivra-gui-whole-run-measuring.png"));
  PostMenu(ID_MEASUREMENT_STOP);
  ASSERT_FALSE(LatestSnapshot()->Measuring());
  Pump(300);
  const int samples = LatestSnapshot()->counters.samplesTaken;
  EXPECT_EQ(static_cast<int>(View()->WholeRun().Store().Count()), samples) << "every sample, none twice";

  const wxBitmap whole = RenderView();
  PostMenu(ID_VIEW_WHOLE_RUN);
  EXPECT_FALSE(MenuChecked(ID_VIEW_WHOLE_RUN));
  const wxBitmap live = RenderView();
  EXPECT_FALSE(SameBitmaps(whole, live));
  EXPECT_TRUE(SameBitmaps(live, RenderPicture(LatestSnapshot()->latest, LatestSnapshot()->history)))
      << "the live view is drawn as before";

  // A drag zooms into a span; Escape returns to the whole run.
  PostMenu(ID_VIEW_WHOLE_RUN);
  const int width = View()->Canvas()->GetClientSize().x;
  SendMouse(wxEVT_LEFT_DOWN, width / 3, 100);
  SendMouse(wxEVT_LEFT_UP, width / 2, 100);
  EXPECT_TRUE(View()->WholeRun().Zoomed());
  const wxBitmap zoomed = RenderView();
  Pump(300);
  EXPECT_TRUE(SaveWindowScreenshot("ivra-gui-whole-run-zoomed.png"));
  EXPECT_FALSE(SameBitmaps(zoomed, whole));
  SendKey(WXK_ESCAPE);
  EXPECT_FALSE(View()->WholeRun().Zoomed());
  EXPECT_TRUE(SameBitmaps(RenderView(), whole));
  SendMouse(wxEVT_LEFT_DOWN, width / 3, 100);
  SendMouse(wxEVT_LEFT_UP, width / 3 + 1, 100);
  EXPECT_FALSE(View()->WholeRun().Zoomed()) << "a click is no span";
  PostMenu(ID_VIEW_WHOLE_RUN);
}

TEST(WholeRunWindow, ExportWritesThePngAndSvgOfWhatTheViewShows) {
  ASSERT_TRUE(PumpUntil([] { return View()->TimerRunning(); }, 5000));
  for (bool wholeRun : {false, true}) {
    if (View()->WholeRunShown() != wholeRun) PostMenu(ID_VIEW_WHOLE_RUN);
    const std::string stem = TempPath(wholeRun ? "export-whole" : "export-live");
    EXPECT_EQ(View()->ExportPlot(stem + ".png", 640, 480), "");
    wxImage png;
    ASSERT_TRUE(png.LoadFile(wxString::FromUTF8(stem + ".png"), wxBITMAP_TYPE_PNG));
    EXPECT_EQ(png.GetWidth(), 640);
    EXPECT_EQ(png.GetHeight(), 480);
    EXPECT_EQ(View()->ExportPlot(stem + ".SVG", 640, 480), "");
    const std::string parse =
        "python3 -c 'import sys, xml.etree.ElementTree as e; "
        "sys.exit(e.parse(sys.argv[1]).getroot().tag != \"{http://www.w3.org/2000/svg}svg\")' " +
        stem + ".SVG";
    EXPECT_EQ(std::system(parse.c_str()), 0) << "the SVG parses as XML";
  }
  PostMenu(ID_VIEW_WHOLE_RUN);
  EXPECT_NE(View()->ExportPlot(TempPath("export.gif"), 640, 480), "");
}
