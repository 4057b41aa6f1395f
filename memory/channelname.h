#pragma once

#include <QString>

// The rules of a name the radio stores, a channel's or a bank's: at most 16 characters of
// its character table. Banks and channels both check their names here.

// A text as a message shows it: NUL, line breaks, tabs and other control characters
// escaped ("\0", "\n"), so that a refusal stays one whole line.
QString EscapedControls(const QString& text);

// The refusal of `name` as it is ("Name \"...\" is longer than 16 characters"), or an
// empty string when the radio can store it.
QString NameRefusal(const QString& name);

// Takes the trailing spaces off `*name` (the radio pads with them), then checks it as
// NameRefusal does.
QString CheckChannelName(QString* name);
