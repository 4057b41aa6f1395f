#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QPageSize>
#include <QString>

// A printable list of an image's channels: the channels in use with their fields and banks,
// then the banks in use with their members, then the skip-search and PMS memories in use
// when there are any, every page headed by a title (the model and the
// date), the image's name and the page number. Drawn by Qt's own PDF writer, which needs a
// QGuiApplication for its fonts (the command line starts one on the offscreen platform: no
// display is needed).

// The full list, or a pocket card: channel, name, frequency, shift, tone and mode in small
// print, in as many columns as the paper holds.
enum class PrintLayout { FullList, PocketCard };

// Letter where it is the usual paper (the United States, Canada, Mexico and the other
// countries of the Americas that use it, the Philippines), A4 elsewhere.
QPageSize::PageSizeId PrintPageSize(const QLocale& locale);

// Writes the list for `image` (in file order) to `path`, atomically: a failed write leaves an
// earlier file of that name as it was. `name` and `date` head each page. Returns an empty
// string, or why nothing was written ("Cannot save "x.pdf": ...").
QString WriteChannelsPdf(const QByteArray& image, const QString& path, const QString& name,
                         const QDateTime& date, QPageSize::PageSizeId pageSize,
                         PrintLayout layout = PrintLayout::FullList);
