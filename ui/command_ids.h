// Command, control and resource ids of the desktop program.
//
// wx menu ids must lie below 0x7FFF, and the classic command numbers of this
// program (32773.., 57603.., 59392..) do not, so a command keeps its classic
// number minus 0x8000: its low fifteen bits (ID_CHANNEL_1 32773 becomes 5).
// None of these fall into wx's own ranges (stock ids 4999..5999, automatic ids
// below zero). The framework commands that wx routes itself (New, Open, Exit,
// About) use wx's stock ids, so wxDocManager, wxDocParentFrame and the
// application see them; the ones no handler takes (Save, the edit commands,
// next/previous pane) get numbers nothing in wx binds, so their accelerators
// reach no handler and do nothing. Exit is the exception: under GTK the stock
// Exit item brings Ctrl+Q with it, which would quit in the middle of a
// measurement, so it keeps its classic number and the frame handles it.
#pragma once

#include <wx/defs.h>

constexpr int WxCommandId(int classicId) { return classicId - 0x8000; }

// The program's commands, handled by the view.
constexpr int ID_CHANNEL_1 = WxCommandId(32773);
constexpr int ID_CHANNEL_2 = WxCommandId(32774);
constexpr int ID_CHANNEL_3 = WxCommandId(32775);
constexpr int ID_CHANNEL_4 = WxCommandId(32776);
constexpr int ID_MEASUREMENT_START = WxCommandId(32777);
constexpr int ID_MEASUREMENT_STOP = WxCommandId(32778);
// View > Whole Run: the whole-run view instead of the live 100-sample view.
constexpr int ID_VIEW_WHOLE_RUN = WxCommandId(32779);
// File > Export Plot...: saves what the view shows as PNG or SVG.
constexpr int ID_FILE_EXPORT_PLOT = WxCommandId(32780);
// View > Run Details...: the whole state, summary and counters in a window of their own.
constexpr int ID_VIEW_RUN_DETAILS = WxCommandId(32781);
// Measurement > Unfinished Runs...: offers again the runs whose program went away.
constexpr int ID_MEASUREMENT_UNFINISHED = WxCommandId(32782);

// Framework commands routed by wx (document manager, application).
constexpr int ID_FILE_NEW = wxID_NEW;
constexpr int ID_FILE_OPEN = wxID_OPEN;
constexpr int ID_APP_ABOUT = wxID_ABOUT;

// Closes the main window; no accelerator.
constexpr int ID_APP_EXIT = WxCommandId(57665);

// Framework commands with accelerators but no handler in this program.
constexpr int ID_FILE_SAVE = WxCommandId(57603);
constexpr int ID_EDIT_COPY = WxCommandId(57634);
constexpr int ID_EDIT_CUT = WxCommandId(57635);
constexpr int ID_EDIT_PASTE = WxCommandId(57637);
constexpr int ID_EDIT_UNDO = WxCommandId(57643);
constexpr int ID_NEXT_PANE = WxCommandId(57680);
constexpr int ID_PREV_PANE = WxCommandId(57681);

// View menu commands of the frame.
constexpr int ID_VIEW_TOOLBAR = WxCommandId(59392);
constexpr int ID_VIEW_STATUS_BAR = WxCommandId(59393);

// Setup dialog controls.
constexpr int IDC_PORT = 1001;
constexpr int IDC_SAMPLE_INTERVAL = 1002;
constexpr int IDC_MEASUREMENT_TIME = 1003;
constexpr int IDC_OUTPUT_FILE = 1004;
constexpr int IDC_BROWSE = 1005;  // picks the output file
constexpr int IDC_OUTPUT_VOLTAGE = 1006;
constexpr int IDC_INSTRUMENT = 1010;  // opens the Instrument dialog

// Instrument dialog controls.
constexpr int IDC_CURRENT_LIMIT = 1011;
constexpr int IDC_CURRENT_RANGE = 1012;
constexpr int IDC_NPLC = 1013;
constexpr int IDC_AUTO_ZERO = 1014;
constexpr int IDC_BAUD_RATE = 1015;
constexpr int IDC_LINE_FORMAT = 1016;
constexpr int IDC_LEAST_INTERVAL = 1017;  // the least interval the values carry

// The one-second timer of the view, which its run driver owns.
constexpr int kViewTimerId = 1;
// Paces the window's redraws while samples come faster than once a second.
constexpr int kFrameTimerId = 2;

// The status bar's panes: messages (menu prompts, troubles, the end of a run)
// and the run's state (measuring with its clock and count, or how it ended).
constexpr int kMessagePane = 0;
constexpr int kRunStatePane = 1;
