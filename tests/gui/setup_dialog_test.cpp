// The Setup dialog driven through its controls inside Measurement > Start.
#include <gtest/gtest.h>

#include <wx/choice.h>
#include <wx/filefn.h>
#include <wx/textctrl.h>
#include <wx/uiaction.h>

#include "programs/ivra/ivra_app.h"
#include "run/measurement_run.h"
#include "serial/port_discovery.h"
#include "serial/port_table.h"
#include "tests/gui/gui_test_support.h"
#include "ui/com_port_dlg.h"
#include "ui/command_ids.h"

namespace {

bool SameSettings(const MeasurementSettings& a, const MeasurementSettings& b) {
  return a.portNumber == b.portNumber && a.sampleInterval == b.sampleInterval &&
         a.measurementTime == b.measurementTime && a.outputVoltage == b.outputVoltage && a.outputPath == b.outputPath;
}

// Runs Start with `steps` scripting its dialog; waits until the dialog is done.
void RunStart(DialogDriver& driver, std::vector<DialogDriver::Step> steps) {
  driver.Script(std::move(steps));
  const int closed = driver.DialogsClosed();
  PostMenu(ID_MEASUREMENT_START);
  ASSERT_TRUE(PumpUntil([&] { return driver.DialogsClosed() > closed; }, 10000));
  Pump(100);
}

// Makes port `index` + 1 the one chosen last: a Start on it that fails at once
// (no folder for the output file) still keeps the accepted values.
void ChoosePortThroughAFailedStart(int index) {
  DialogDriver driver;
  RunStart(driver, {[&](wxDialog& dialog) {
             SelectPort(dialog, index);
             SetField(dialog, IDC_OUTPUT_FILE, "/no-such-ivra-folder/x.dat");
             ClickButton(dialog, wxID_OK);
           }});
}

}  // namespace

TEST(SetupDialog, ValidatesFieldsInOrderKeepsTextAndFocusesTheBadField) {
  DialogDriver driver;
  std::vector<wxString> shownAtOpen;
  std::vector<int> focusIds;
  std::vector<wxString> keptTexts;
  auto focusedId = [&](wxDialog& dialog, int expectedId) {
    focusIds.push_back(FocusedIdAfterWaitingFor(dialog, expectedId));
  };

  RunStart(driver,
           {
               [&](wxDialog& dialog) {
                 shownAtOpen = {wxString::Format("%d", PortSelection(dialog)), FieldValue(dialog, IDC_SAMPLE_INTERVAL),
                                FieldValue(dialog, IDC_MEASUREMENT_TIME), FieldValue(dialog, IDC_OUTPUT_VOLTAGE),
                                FieldValue(dialog, IDC_OUTPUT_FILE)};
                 EXPECT_EQ(dialog.GetTitle(), "Setup");
                 std::vector<int> tabOrder;
                 for (wxWindow* child : dialog.GetChildren()) {
                   if (child->AcceptsFocus()) tabOrder.push_back(child->GetId());
                 }
                 EXPECT_EQ(tabOrder,
                           (std::vector<int>{wxID_OK, IDC_PORT, IDC_NETWORK_ADDRESS, IDC_GPIB_ADDRESS,
                                             IDC_SAMPLE_INTERVAL, IDC_MEASUREMENT_TIME, IDC_OUTPUT_FILE, IDC_BROWSE,
                                             wxID_CANCEL, IDC_OUTPUT_VOLTAGE, IDC_INSTRUMENT, IDC_STEPS}));
                 SetField(dialog, IDC_MEASUREMENT_TIME, "9");
                 SetField(dialog, IDC_SAMPLE_INTERVAL, "0");
                 SetField(dialog, IDC_OUTPUT_VOLTAGE, "10.5");
                 ClickButton(dialog, wxID_OK);
               },
               [&](wxDialog& dialog) {
                 focusedId(dialog, IDC_MEASUREMENT_TIME);
                 keptTexts.push_back(FieldValue(dialog, IDC_MEASUREMENT_TIME));
                 SetField(dialog, IDC_MEASUREMENT_TIME, "10000001");
                 ClickButton(dialog, wxID_OK);
               },
               [&](wxDialog& dialog) {
                 SetField(dialog, IDC_MEASUREMENT_TIME, "10000000");
                 ClickButton(dialog, wxID_OK);
               },
               [&](wxDialog& dialog) {
                 focusedId(dialog, IDC_SAMPLE_INTERVAL);
                 keptTexts.push_back(FieldValue(dialog, IDC_SAMPLE_INTERVAL));
                 SetField(dialog, IDC_SAMPLE_INTERVAL, "1000");
                 ClickButton(dialog, wxID_OK);
               },
               [&](wxDialog& dialog) {
                 focusedId(dialog, IDC_OUTPUT_VOLTAGE);
                 SetField(dialog, IDC_OUTPUT_VOLTAGE, "abc");
                 ClickButton(dialog, wxID_OK);
               },
               [&](wxDialog& dialog) {
                 SetField(dialog, IDC_OUTPUT_VOLTAGE, "-10.001");
                 ClickButton(dialog, wxID_OK);
               },
               [&](wxDialog& dialog) {
                 SetField(dialog, IDC_OUTPUT_VOLTAGE, "-10");
                 SelectPort(dialog, 2);
                 SetField(dialog, IDC_OUTPUT_FILE, "");  // an empty name keeps the dialog open
                 ClickButton(dialog, wxID_OK);
               },
               [&](wxDialog& dialog) {
                 focusedId(dialog, IDC_OUTPUT_FILE);
                 SetField(dialog, IDC_OUTPUT_FILE,
                          "/no-such-ivra-folder/x.dat");  // passes the dialog; Start refuses it
                 ClickButton(dialog, wxID_OK);
               },
           });

  EXPECT_EQ(shownAtOpen, (std::vector<wxString>{"0", "1", "1000", "0.5", ""}));
  std::vector<wxString> texts;
  for (const CapturedMessage& message : driver.Messages()) texts.push_back(message.text);
  EXPECT_EQ(texts, (std::vector<wxString>{
                       "Please enter an integer between 10 and 10000000.",
                       "Please enter an integer between 10 and 10000000.",
                       "Time between samples: please enter a number of seconds between 0.02 and 1000, with at "
                       "most three decimals.",
                       "Please enter a number between -10 and 10.",
                       "Please enter a number.",
                       "Please enter a number between -10 and 10.",
                       "Please enter the name of the output file, or choose one with the Browse... button.",
                       "Can't create file : /no-such-ivra-folder/x.dat\nThe folder /no-such-ivra-folder does not "
                       "exist. Create it first, or choose a file in a folder that exists.",
                   }));
  ASSERT_EQ(driver.Messages().size(), 8u);
  EXPECT_EQ(driver.Messages().front().caption, "Ivra");
  EXPECT_TRUE(driver.Messages().front().style & wxICON_EXCLAMATION);
  EXPECT_EQ(driver.Messages().back().caption, "Ivra");
  EXPECT_FALSE(driver.Messages().back().style & (wxICON_EXCLAMATION | wxICON_ERROR | wxICON_INFORMATION));
  EXPECT_EQ(focusIds,
            (std::vector<int>{IDC_MEASUREMENT_TIME, IDC_SAMPLE_INTERVAL, IDC_OUTPUT_VOLTAGE, IDC_OUTPUT_FILE}));
  EXPECT_EQ(keptTexts, (std::vector<wxString>{"9", "0"}));

  // Accepted values are taken even though Start failed afterwards.
  const SnapshotPtr run = LatestSnapshot();
  EXPECT_FALSE(run->Measuring());
  EXPECT_EQ(run->settings.portNumber, 3);
  EXPECT_EQ(run->settings.measurementTime, 10000000);
  EXPECT_EQ(run->settings.sampleInterval, 1000);
  EXPECT_EQ(run->settings.outputVoltage, -10.0);
  EXPECT_EQ(run->settings.outputPath, "/no-such-ivra-folder/x.dat");
  EXPECT_TRUE(MenuEnabled(ID_MEASUREMENT_START));
}

TEST(SetupDialog, NextDialogShowsEveryFieldOfTheLastStartAndCancelChangesNothing) {
  ChoosePortThroughAFailedStart(2);
  const MeasurementSettings before = LatestSnapshot()->settings;
  DialogDriver driver;
  std::vector<wxString> shown;
  auto changeEverything = [](wxDialog& dialog) {
    SelectPort(dialog, 1);
    SetField(dialog, IDC_SAMPLE_INTERVAL, "7");
    SetField(dialog, IDC_MEASUREMENT_TIME, "77");
    SetField(dialog, IDC_OUTPUT_VOLTAGE, "7.5");
    SetField(dialog, IDC_OUTPUT_FILE, "seven.dat");
  };
  RunStart(driver, {[&](wxDialog& dialog) {
             shown = {wxString::Format("%d", PortSelection(dialog)), FieldValue(dialog, IDC_SAMPLE_INTERVAL),
                      FieldValue(dialog, IDC_MEASUREMENT_TIME), FieldValue(dialog, IDC_OUTPUT_VOLTAGE),
                      FieldValue(dialog, IDC_OUTPUT_FILE)};
             changeEverything(dialog);
             ClickButton(dialog, wxID_CANCEL);
           }});
  // Every field as the last Start (a failed one) left it.
  EXPECT_EQ(shown, (std::vector<wxString>{"2", "1000", "10000000", "-10", "/no-such-ivra-folder/x.dat"}));
  EXPECT_TRUE(SameSettings(LatestSnapshot()->settings, before));

  // The close box reads nothing either.
  RunStart(driver, {[&](wxDialog& dialog) {
             changeEverything(dialog);
             dialog.Close();
           }});
  EXPECT_TRUE(SameSettings(LatestSnapshot()->settings, before));
  EXPECT_TRUE(driver.Messages().empty());
  EXPECT_FALSE(LatestSnapshot()->Measuring());
}

TEST(SetupDialog, TypedInputMouseClicksAndEscape) {
  const MeasurementSettings before = LatestSnapshot()->settings;
  DialogDriver driver;
  wxUIActionSimulator input;
  auto clickOn = [&](wxDialog& dialog, int id) {
    const wxRect rect = dialog.FindWindow(id)->GetScreenRect();
    input.MouseMove(rect.GetPosition() + wxPoint(rect.width / 2, rect.height / 2));
    input.MouseClick();
  };
  wxString typed;
  RunStart(driver, {
                       [&](wxDialog& dialog) { clickOn(dialog, IDC_MEASUREMENT_TIME); },
                       [&](wxDialog& dialog) {
                         static_cast<wxTextCtrl*>(dialog.FindWindow(IDC_MEASUREMENT_TIME))->SelectAll();
                         input.Text("5");
                       },
                       [&](wxDialog& dialog) {
                         typed = FieldValue(dialog, IDC_MEASUREMENT_TIME);
                         clickOn(dialog, wxID_OK);
                       },
                       [&](wxDialog&) { input.Char(WXK_ESCAPE); },
                   });
  EXPECT_EQ(typed, "5");
  ASSERT_EQ(driver.Messages().size(), 1u);
  EXPECT_EQ(driver.Messages()[0].text, "Please enter an integer between 10 and 10000000.");
  EXPECT_FALSE(LatestSnapshot()->Measuring());
  EXPECT_TRUE(SameSettings(LatestSnapshot()->settings, before)) << "Escape reads nothing";
}

TEST(SetupDialog, PortThatCannotBeOpenedIsReportedAfterTheDialog) {
  ASSERT_TRUE(Ports().SetDevicePath(4, "/nonexistent/ivra-port"));
  const std::string dataPath = TempPath("no-port.dat");
  DialogDriver driver;
  RunStart(driver, {[&](wxDialog& dialog) {
             SelectPort(dialog, 3);
             SetField(dialog, IDC_OUTPUT_FILE, wxString::FromUTF8(dataPath));
             ClickButton(dialog, wxID_OK);
           }});
  ASSERT_EQ(driver.Messages().size(), 1u);
  const std::string text = driver.Messages()[0].text.utf8_string();
  EXPECT_EQ(text.rfind("Can't open serial port\nPort: /nonexistent/ivra-port\nThere is no such device.", 0), 0u)
      << text;
  EXPECT_EQ(driver.Messages()[0].caption, "Ivra");
  EXPECT_FALSE(LatestSnapshot()->Measuring());
  EXPECT_EQ(LatestSnapshot()->settings.portNumber, 4);
  EXPECT_TRUE(ReadLines(dataPath).empty());
  EXPECT_TRUE(wxFileExists(dataPath)) << "the output file was created before the port was tried";
  EXPECT_TRUE(MenuEnabled(ID_MEASUREMENT_START));
}

TEST(SetupDialog, ListsEveryPortFoundAfterComOneToFourAndPreselectsTheLastDevice) {
  Ports() = PortTable();
  ASSERT_TRUE(Ports().SetDevicePath(2, "/dev/pts/77"));
  TheIvraApp().SetPortLister([] {
    std::vector<SerialPortInfo> ports(2);
    ports[0].device = "/dev/ttyUSB0";
    ports[0].manufacturer = "FTDI";
    ports[0].product = "FT232R USB UART";
    ports[0].serialNumber = "A50285BI";
    ports[0].stableName = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    ports[1].device = "/dev/ttyS0";  // COM1 stands for it already
    ports[1].description = "built-in serial port";
    return ports;
  });
  const std::string dataPath = TempPath("usb-port.dat");
  DialogDriver driver;
  std::vector<std::string> labels;
  RunStart(driver, {[&](wxDialog& dialog) {
             auto* port = dynamic_cast<wxChoice*>(dialog.FindWindow(IDC_PORT));
             ASSERT_NE(port, nullptr);
             const wxArrayString strings = port->GetStrings();
             for (const wxString& label : strings) labels.push_back(label.utf8_string());
             // The list shows its longest entry whole and stays clear of the buttons.
             EXPECT_GE(port->GetSize().x, port->GetBestSize().x);
             EXPECT_LT(port->GetRect().GetRight(), dialog.FindWindow(wxID_OK)->GetPosition().x);
             SelectPort(dialog, 4);
             SetField(dialog, IDC_OUTPUT_FILE, wxString::FromUTF8(dataPath));
             ClickButton(dialog, wxID_OK);
           }});
  EXPECT_EQ(labels, (std::vector<std::string>{"COM1 (/dev/ttyS0)", "COM2 (/dev/pts/77)", "COM3 (/dev/ttyS2)",
                                              "COM4 (/dev/ttyS3)", "/dev/ttyUSB0 - FTDI FT232R USB UART (A50285BI)",
                                              "Network address (tcp://HOST:PORT)"}));
  // The adapter is opened by its stable name, which does not exist here.
  ASSERT_EQ(driver.Messages().size(), 1u);
  EXPECT_EQ(driver.Messages()[0].text.utf8_string().rfind(
                "Can't open serial port\nPort: /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0\n"
                "There is no such device.",
                0),
            0u);
  EXPECT_EQ(LatestSnapshot()->settings.portPath, "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");

  // The next Setup offers the adapter again; once it is gone, the COM port.
  int preselected = -1;
  RunStart(driver, {[&](wxDialog& dialog) {
             preselected = PortSelection(dialog);
             ClickButton(dialog, wxID_CANCEL);
           }});
  EXPECT_EQ(preselected, 4);
  TheIvraApp().SetPortLister([] { return std::vector<SerialPortInfo>{}; });
  RunStart(driver, {[&](wxDialog& dialog) {
             preselected = PortSelection(dialog);
             ClickButton(dialog, wxID_CANCEL);
           }});
  EXPECT_EQ(preselected, LatestSnapshot()->settings.portNumber - 1);

  TheIvraApp().SetPortLister(nullptr);
  Ports() = PortTable();
}

TEST(SetupDialog, NumberFieldsShowTheirLongestValuesWhole) {
  DialogDriver driver;
  RunStart(driver, {[&](wxDialog& dialog) {
             for (const auto& [id, longest] : {std::pair<int, const char*>{IDC_SAMPLE_INTERVAL, "1000"},
                                               {IDC_MEASUREMENT_TIME, "10000000"},
                                               {IDC_OUTPUT_VOLTAGE, "-10.000"}}) {
               auto* field = dynamic_cast<wxTextCtrl*>(dialog.FindWindow(id));
               ASSERT_NE(field, nullptr);
               EXPECT_GE(field->GetSize().x, field->GetSizeFromTextSize(field->GetTextExtent(longest).x).x) << longest;
               // No unit label or button is covered by a widened field.
               for (wxWindow* other : dialog.GetChildren()) {
                 if (other != field && other->GetRect().GetTop() < field->GetRect().GetBottom() &&
                     other->GetRect().GetBottom() > field->GetRect().GetTop()) {
                   EXPECT_FALSE(other->GetRect().Intersects(field->GetRect())) << longest;
                 }
               }
             }
             ClickButton(dialog, wxID_CANCEL);
           }});
}
