#pragma once
// The timetable's settings file "Morrowset.ini" in the application folder: eighteen text
// lines, three per row (state, command line, time text), CR LF line ends. The file holds
// command lines that the program runs on its own, so it is read only when it belongs to the
// user and nobody else may write it, and it is written readable by its user only.
//
// Reading and writing raise run-time errors, as the language runtime's files do.
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "platform/file_io.h"

namespace morrowset::settings {

// The settings file's full name, in the application folder in use or in `appFolder`.
std::string filePath();
std::string filePath(const std::string& appFolder);

// True when anything at all is at `path` (a link that leads nowhere too): only a start
// with nothing there is a first start, which reads no file and reports nothing.
bool exists(const std::string& path);

// A state as the settings file stores it: the number with a blank (or the minus sign)
// before it and a blank after it, " 1 ".
std::string stateText(int16_t state);

// Reads the file line by line.
class Reader {
public:
    // Opens `path`. Raises 53 when it does not exist, 70 when another user owns it or
    // group or others may write it, or when it is a link that another user made or that
    // leads through another user's folder; 75 when it is no plain file, else the file error.
    void open(const std::string& path);
    // The next line without its line end (LF or CR LF). Raises 52 Bad file name or number
    // when the file is not open, 62 Input past end of file when no line is left.
    std::string readLine();
    // The bytes after the lines read so far, as they are; "" when nothing is left or they
    // cannot be read.
    std::string rest();
    void close() { file_.reset(); }

private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
};

// Writes a new file beside the old one and puts it in the old one's place only once it is
// complete and on disk: a failed or interrupted save leaves the old file as it was, and no
// half-written file behind (platform/file_io.h: the new file has no name until it is
// complete; a name left by a save killed between naming it and putting it in place,
// ".Morrowset.ini.morrowset-save." and a random part, goes at a save a minute later; no
// other file is ever removed).
// Save keeps what the old file was: a read-only file is refused and left alone, and a
// symbolic link stays a link, its target replaced in the target's own folder, as long as
// the link is the user's or root's and leads only through their folders (else 75).
class Writer {
public:
    // Starts the new file for `path`. Raises 76 Path not found when its folder does not
    // exist, 75 Path/File access error when the file is read-only or no plain file, else
    // the file error (70 when the folder is not writable).
    void open(const std::string& path);
    // Writes `text` and CR LF; a CR or LF inside `text` is written as a blank, so that each
    // line stays one line. Raises 52 when not open, else the file error.
    void writeLine(std::string_view text);
    // Writes `bytes` as they are (the file's part after its lines, whole lines with their
    // own ends). Raises 52 when not open, else the file error.
    void writeBytes(std::string_view bytes);
    // Flushes the new file to disk and puts it in the old one's place.
    void commit();

private:
    platform::FileReplacement file_;  // for the file replaced: the link's target for a link
};

}  // namespace morrowset::settings
