#pragma once
// Where the database, print.dat and data.ini live. A build runs with them beside the program;
// the installed program (in the package's bin folder) keeps them in a data folder instead: the
// shared one named in the machine's orvanta.ini, else the user's own.

#include <QString>

struct DataFolderPlaces {
    QString programDir;          // the folder holding the running program
    QString installedProgramDir; // where the package puts the program
    QString machineIni;          // the machine-wide settings file, e.g. /etc/orvanta/orvanta.ini
    QString userDataDir;         // the user's own data folder
};

// True when `places.programDir` is the package's program folder.
bool isInstalledProgram(const DataFolderPlaces& places);
// The data folder for these places, without a trailing separator.
QString dataFolderFor(const DataFolderPlaces& places);
// The shared data folder the machine-wide file names ([data] folder=...); empty when it names none.
QString sharedDataFolder(const QString& machineIni);

// The places of this run; ORVANTA_APP_DIR stands for the program folder (tests).
DataFolderPlaces currentDataFolderPlaces();
// True when this run is the installed program (and ORVANTA_APP_DIR is not set).
bool runsInstalled();
// The data folder of this run with one trailing separator: AppPath() unless installed.
QString DataPath();
// The folder an import's report is saved in: the open local database's, the data folder's on a
// server.
QString ReportFolder();
// The open database as a window's report names it: the local file, or just the server.
QString ReportDatabaseName();
// The folder an export proposes: the data folder for a build, the documents folder once installed.
QString ExportPath();

// Creates the file with `create` unless it exists, and the folder it goes into. In a folder whose
// group may write (shared by several users) the new file is writable by the group too.
// Returns an error text, empty on success.
QString createFileIfAbsent(const QString& path, QString (*create)(const QString&));
// On the installed program's start, brings a delivered file (MoLian.mdb, print.dat) into the data
// folder unless it is there. A shared folder must exist already: when it is missing (a share not
// mounted) a new file there would stand in for the office's data. Does nothing for a build.
QString createDeliveredFile(const DataFolderPlaces& places, const QString& name,
                            QString (*create)(const QString&));
