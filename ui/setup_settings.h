// The Setup dialog turned into a measurement's settings, and the profile
// entries that carry the Setup's choices from one session to the next.
//
// A Setup is preset from the settings of the last Start (which the run keeps
// also when it failed): every field. Before the first Start of a session they
// come from the profile, which keeps every field of the last accepted Setup;
// what the profile lacks starts at the dialog's own values. The instrument
// settings carry over from Start to Start. The network address typed last and
// the GPIB address are remembered too, and so is the bias schedule; the desktop program's --simulate with
// --gpib presets its own GPIB address instead, and then leaves the profile's be.
#pragma once

#include <optional>
#include <string>

#include "instrument/instrument_settings.h"
#include "run/run_snapshot.h"
#include "serial/port_discovery.h"
#include "serial/port_table.h"
#include "ui/com_port_dlg.h"

class wxConfigBase;

class SetupSettings {
 public:
  // The port list holds COM1..COM4 as `ports` maps them, then what `listPorts`
  // finds; `rememberedPortPath` is preselected until a Start has chosen a
  // port. `instrument` is preset in every Setup; an accepted one replaces it.
  // All of them must outlive this object.
  SetupSettings(const PortTable& ports, const PortLister& listPorts, std::string rememberedPortPath,
                InstrumentSettings& instrument);

  // Shows the Setup dialog preset from `last`, with `focus` focused. The
  // accepted settings, or none when the user cancelled. An accepted Setup
  // also takes the instrument settings and remembers its fields in the profile.
  std::optional<MeasurementSettings> Ask(const MeasurementSettings& last, SetupField focus = SetupField::None);

  // The two ends of Ask, around the dialog's modal loop.
  void Preset(CComPortDlg& dialog, const MeasurementSettings& last) const;
  MeasurementSettings Accepted(const CComPortDlg& dialog, const MeasurementSettings& last) const;

 private:
  const PortTable& m_ports;
  const PortLister& m_listPorts;
  const std::string m_rememberedPortPath;
  InstrumentSettings& m_instrument;
};

// The GPIB address the command line's simulated controller answers at,
// preset by every Setup of this session until a Start has chosen one; the
// profile's GPIB and network addresses are then neither read nor replaced.
void SetSessionGpibAddress(int address);

// The device of the last accepted Setup; empty when the profile has none.
std::string LoadRememberedPortPath(const wxConfigBase& config);
void SaveRememberedPortPath(wxConfigBase& config, const std::string& path);

// The instrument settings kept in the profile. A value that is missing,
// unreadable, or one the Instrument dialog would refuse (a hand-edited
// profile) comes back as the instrument's reset default, so a Start never
// sends what the dialog would not have let through.
InstrumentSettings LoadInstrumentSettings(const wxConfigBase& config);
void SaveInstrumentSettings(wxConfigBase& config, const InstrumentSettings& settings);
