#pragma once

#include <string>

#include "platform/platform.h"

// The two kinds of box every stage speaks through: a notice and a yes/no
// question, chosen by letters, modal, captioned "Quenlit".

// Caption of every box the tool shows itself.
extern const char kCaption[];

// A notice with one OK button. Icon letters: 'e' error, 'i' information,
// anything else none.
void NoticeBox(Platform& platform, const std::string& text, char iconLetter);

// A question. Icon '?', buttons "yn" or "ync", default 'y', 'n' or 'c'; a bad
// selector shows a complaint instead of the text. Returns the button code.
int YesNoBox(Platform& platform, const std::string& text, char iconLetter,
             const std::string& buttonSet, char defaultLetter);
