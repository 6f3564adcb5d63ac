#pragma once
// The language in force. The captions on screen and the options panel's
// language button are two things: the built-in window shows Russian with
// "English" selected, which is why a first start ends in English (the
// options file written from the built-in state says English). Every switch
// sets both.

#include "captions.h"

class LanguageState {
public:
    Language Shown() const { return ShownLanguage; }
    Language Selected() const { return SelectedButton; }
    bool English() const { return ShownLanguage == Language::English; }
    void Switch(Language language) { ShownLanguage = SelectedButton = language; }

private:
    Language ShownLanguage = Language::Russian;
    Language SelectedButton = Language::English;
};
