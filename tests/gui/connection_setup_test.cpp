// Setup's connection choice: a network address and a GPIB address, checked
// with ivra-run's words, taken by the run, and remembered by the next Setup.
#include <gtest/gtest.h>

#include <wx/choice.h>
#include <wx/textctrl.h>

#include "programs/common/simulator_start.h"
#include "run/measurement_run.h"
#include "tests/gui/gui_test_support.h"
#include "text/port_open_message.h"
#include "ui/com_port_dlg.h"
#include "ui/command_ids.h"
#include "ui/ivra_view.h"
#include "ui/setup_settings.h"

namespace {

// Chooses entry `index` of a list as a click would, telling the dialog.
void Choose(wxDialog& dialog, int id, int index) {
  auto* list = dynamic_cast<wxChoice*>(dialog.FindWindow(id));
  ASSERT_NE(list, nullptr);
  list->SetSelection(index);
  wxCommandEvent chosen(wxEVT_CHOICE, id);
  chosen.SetEventObject(list);
  chosen.SetInt(index);
  list->GetEventHandler()->ProcessEvent(chosen);
}

int Selection(wxDialog& dialog, int id) { return dynamic_cast<wxChoice*>(dialog.FindWindow(id))->GetSelection(); }

std::vector<int> TabOrder(wxDialog& dialog) {
  std::vector<int> order;
  for (wxWindow* child : dialog.GetChildren()) {
    if (child->AcceptsFocus()) order.push_back(child->GetId());
  }
  return order;
}

void RunSetup(DialogDriver& driver, std::vector<DialogDriver::Step> steps) {
  driver.Script(std::move(steps));
  const int closed = driver.DialogsClosed();
  PostMenu(ID_MEASUREMENT_START);
  ASSERT_TRUE(PumpUntil([&] { return driver.DialogsClosed() > closed; }, 10000));
}

}  // namespace

TEST(ConnectionSetup, NetworkAndGpibAddressesAreCheckedReachTheRunAndAreRemembered) {
  // A GPIB-ETHERNET controller on loopback with the simulated 2400 behind it at 24.
  SimOptions options;
  std::string error;
  PortTable unused;
  auto simulator = StartSimulator(options, unused, 0, error);
  ASSERT_TRUE(simulator) << error;
  SimAdapterOptions front;  // on a free port of the system's choosing
  front.prologix = true;
  front.gpibAddress = 24;
  front.listen = true;
  auto adapter = std::make_unique<SimAdapter>(front, simulator->DevicePath(), options);
  ASSERT_TRUE(adapter->Start()) << adapter->Error();
  const std::string address = adapter->ClientAddress();
  const std::string dataPath = TempPath("network.dat");
  ASSERT_TRUE(PumpUntil([] { return View()->TimerRunning(); }, 5000));

  DialogDriver driver;
  int networkEntry = -1;
  std::vector<int> focusIds;
  bool fieldEnabledAtFirst = true;
  RunSetup(driver,
           {
               [&](wxDialog& dialog) {
                 // An RS-232 user sees a port and "none (RS-232)", nothing to type.
                 EXPECT_EQ(Selection(dialog, IDC_GPIB_ADDRESS), 0);
                 fieldEnabledAtFirst = dialog.FindWindow(IDC_NETWORK_ADDRESS)->IsEnabled();
                 EXPECT_EQ(TabOrder(dialog),
                           (std::vector<int>{wxID_OK, IDC_PORT, IDC_NETWORK_ADDRESS, IDC_GPIB_ADDRESS,
                                             IDC_SAMPLE_INTERVAL, IDC_MEASUREMENT_TIME, IDC_OUTPUT_FILE, IDC_BROWSE,
                                             wxID_CANCEL, IDC_OUTPUT_VOLTAGE, IDC_INSTRUMENT, IDC_STEPS}));
                 networkEntry = static_cast<int>(dynamic_cast<wxChoice*>(dialog.FindWindow(IDC_PORT))->GetCount()) - 1;
                 Choose(dialog, IDC_PORT, networkEntry);
                 focusIds.push_back(FocusedIdAfterWaitingFor(dialog, IDC_NETWORK_ADDRESS));
                 Choose(dialog, IDC_GPIB_ADDRESS, 24 + 1);
                 SetField(dialog, IDC_NETWORK_ADDRESS, "tcp://127.0.0.1:70000");
                 SetField(dialog, IDC_OUTPUT_FILE, wxString::FromUTF8(dataPath));
                 SetField(dialog, IDC_MEASUREMENT_TIME, "600");
                 ClickButton(dialog, wxID_OK);
               },
               [&](wxDialog& dialog) {
                 focusIds.push_back(FocusedIdAfterWaitingFor(dialog, IDC_NETWORK_ADDRESS));
                 SetField(dialog, IDC_NETWORK_ADDRESS, "127.0.0.1");
                 ClickButton(dialog, wxID_OK);
               },
               [&](wxDialog& dialog) {
                 // Without the scheme, as a bridge's label gives it.
                 SetField(dialog, IDC_NETWORK_ADDRESS, wxString::FromUTF8(address.substr(6)));
                 SaveScreen("ivra-gui-network-gpib-setup.png");
                 ClickButton(dialog, wxID_OK);
               },
               [&](wxDialog& dialog) {
                 ADD_FAILURE() << "Setup refused the whole address";
                 ClickButton(dialog, wxID_CANCEL);
               },
           });
  EXPECT_FALSE(fieldEnabledAtFirst);
  std::vector<wxString> texts;
  for (const CapturedMessage& message : driver.Messages()) texts.push_back(message.text);
  for (const wxString& text : texts) std::printf("[ message ] %s\n", text.utf8_str().data());
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], wxString::FromUTF8(*CheckNetworkAddress("tcp://127.0.0.1:70000")));
  EXPECT_EQ(texts[1], wxString::FromUTF8(*CheckNetworkAddress("tcp://127.0.0.1")));
  EXPECT_NE(texts[0], texts[1]) << "each bad address says what is wrong with it";
  EXPECT_TRUE(texts[0].StartsWith("Please enter a network address as tcp://HOST:PORT")) << texts[0];
  EXPECT_TRUE(driver.Messages().front().style & wxICON_EXCLAMATION);
  EXPECT_EQ(focusIds, (std::vector<int>{IDC_NETWORK_ADDRESS, IDC_NETWORK_ADDRESS}));

  // The run goes through the controller on the network, to the instrument at 24.
  ASSERT_TRUE(PumpUntil([] { return View()->Measuring(); }, 10000)) << "the measurement did not start";
  EXPECT_EQ(LatestSnapshot()->settings.portPath, address);
  EXPECT_EQ(LatestSnapshot()->settings.gpibAddress, 24);
  ASSERT_TRUE(PumpUntilCollected([] { return LatestSnapshot()->history.count >= 2; }, 20000))
      << "samples did not arrive through the controller";
  Pump(300);
  EXPECT_TRUE(SaveWindowScreenshot("ivra-gui-network-gpib.png"));
  PostMenu(ID_MEASUREMENT_STOP);
  ASSERT_TRUE(PumpUntil([] { return !LatestSnapshot()->Measuring(); }, 10000));
  int sampleLines = 0;
  for (const std::string& line : ReadLines(dataPath)) sampleLines += !line.empty() && line[0] != '#';
  EXPECT_GE(sampleLines, 2) << dataPath;
  std::remove(dataPath.c_str());

  // The next Setup shows the same connection; so does the next session's, from the profile.
  driver.ClearMessages();
  RunSetup(driver, {[&](wxDialog& dialog) {
             EXPECT_EQ(Selection(dialog, IDC_PORT), networkEntry);
             EXPECT_EQ(FieldValue(dialog, IDC_NETWORK_ADDRESS), wxString::FromUTF8(address));
             EXPECT_TRUE(dialog.FindWindow(IDC_NETWORK_ADDRESS)->IsEnabled());
             EXPECT_EQ(Selection(dialog, IDC_GPIB_ADDRESS), 24 + 1);
             // Back to a serial port: the address stays, greyed, for next time.
             Choose(dialog, IDC_PORT, 0);
             EXPECT_FALSE(dialog.FindWindow(IDC_NETWORK_ADDRESS)->IsEnabled());
             ClickButton(dialog, wxID_CANCEL);
           }});
  PortTable ports;
  PortLister none = [] { return std::vector<SerialPortInfo>{}; };
  InstrumentSettings instrument;
  SetupSettings nextSession(ports, none, "", instrument);
  CComPortDlg dialog(nullptr, ports, none);
  nextSession.Preset(dialog, MeasurementSettings{});
  EXPECT_EQ(dialog.m_strNetworkAddress, address);
  EXPECT_EQ(dialog.m_nGpibAddress, 24);
  dialog.Destroy();
}
