#pragma once

#include <QDir>
#include <QImage>
#include <QString>

// For the tools that draw offscreen into a folder named on their command
// line. Call before the application object exists: it chooses the offscreen
// platform unless one was asked for, and makes the folder. Returns the exit
// code to leave with, or 0 to go on.
int openOutputFolder(int argc, char *argv[], const char *folderName, QDir *dir);

// Writes the image as a PNG file and says so; false (and why) on failure.
bool savePng(const QDir &dir, const QString &name, const QImage &image);
