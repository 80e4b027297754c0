// The instrument settings of the desktop program, kept in the profile from one
// session to the next.
//
// A value that is missing from the profile, unreadable, or one the Instrument
// dialog would refuse (a hand-edited profile) comes back as the instrument's
// reset default, so a Start never sends what the dialog would not have let
// through.
#pragma once

#include "instrument/instrument_settings.h"

class wxConfigBase;

InstrumentSettings LoadInstrumentSettings(const wxConfigBase& config);
void SaveInstrumentSettings(wxConfigBase& config, const InstrumentSettings& settings);
