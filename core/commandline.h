#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace bootvane {

// What Bootvane is asked to do by its command line:
//   bootvane [--drive PATH] [--sets FOLDER]
//                               start, with drive C in PATH (a disk image file or a folder),
//                               keeping the sets in FOLDER
//   bootvane --help | --version print and exit
struct CommandLine {
    bool exits = false; // printed what was asked, or what is wrong, and is done
    int exitCode = 0;
    QString drive; // empty: the drive remembered for the sets folder, else Wine's
    QString sets;  // empty: the folder Bootvane is started in, unless that is the home folder
};

// Answers, before anything starts (no display needed, no folder touched), what needs no
// window: help and the version on standard output, an option that neither Bootvane nor Qt
// knows on standard error. Gives the exit code when it answered.
std::optional<int> answerWithoutStarting(const QStringList& arguments);

// Reads the arguments that Qt's own options (-platform and the like) have already left;
// what is wrong goes to standard error.
CommandLine readCommandLine(const QStringList& arguments);

// The program's arguments as they came, every byte of a name kept.
QStringList rawArguments(int argc, char** argv);

} // namespace bootvane
