#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// A repeater directory as its export interface saves it: one JSON object whose "results" list
// holds one object per repeater, every value a string. The reader keeps the fields a channel
// needs, as the file gives them; deciding what becomes a channel is the memory's.
struct DirectoryEntry {
    int entry = 0;  // its place in "results", from 1: the "line" a message names
    QString callsign, nearestCity;
    QString frequency, inputFrequency;  // MHz as text: the output, and the input
    QString uplinkTone, downlinkTone;   // "PL" and "TSQ": "100.0", "D023", "CSQ", ""
    QString use;                        // "OPEN", "CLOSED", "PRIVATE"
    QString status;                     // "On-air", "Off-air", "Unknown"
    bool analogFm = false;
    bool digital = false;  // a digital mode, read for a repeater without analog FM only
    bool hasPosition = false;
    double latitude = 0, longitude = 0;
};

// The entries of a directory file, in its order; false and *error why the text is none
// ("it is not JSON: ...", "it has no \"results\" list").
bool ReadRepeaterDirectory(const QByteArray& json, QList<DirectoryEntry>* entries, QString* error);

// The great-circle distance in km between two points in decimal degrees (haversine, with
// the Earth's mean radius of 6371 km, as directory tools give it).
double DistanceKm(double lat1, double lon1, double lat2, double lon2);

// "40.7128,-74.0060" as a point; false when the text is none or out of range.
bool ParsePoint(const QString& text, double* latitude, double* longitude);
// "40", "40km", "25mi", "12.5 mi" as km; -1 when the text is no distance.
double ParseDistanceKm(const QString& text);
