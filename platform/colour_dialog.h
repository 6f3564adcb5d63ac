#pragma once
// The colour chooser: a short form with the basic colours, and a full form
// that adds a picker for any colour.

#include "platform/win_colour.h"

class QWidget;

// The short form is used when every component of the preset is one of the
// values the basic colours are made of.
bool OpensShortForm(WinColour preset);

// Runs the dialog preset to a colour; returns the chosen colour after OK and
// the preset after Cancel.
WinColour RunColourDialog(QWidget* parent, WinColour preset);
