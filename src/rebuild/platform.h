// The seam between the rebuild and the machine it runs on. The rebuild is plain
// C++ and reaches the operator, the event loop and the file system only through
// these interfaces; the program wires real implementations to them, the tests
// wire fakes. Everything here is called on the window's event thread only.
//
// Every operation may throw rebuild::PlatformError when the platform fails; the
// rebuild never catches it (see platform_error.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace rebuild {

// The icon of a message box. The numbers are the style numbers the rebuild's
// messages are written with.
enum class MessageStyle : std::int16_t {
    kPlain = 0,         // OK button, no icon
    kWarning = 48,      // OK button, warning icon
    kInformation = 64,  // OK button, information icon
};

// The operator's side: message boxes, the event loop and the end of the program.
class Ui {
  public:
    virtual ~Ui() = default;

    // Shows a box modal to the window, with the OK button alone, and returns
    // once the operator has closed it. Without a title the box shows the
    // application's title; an empty title is shown as given.
    virtual void ShowMessage(const std::string &text, MessageStyle style,
                             const std::optional<std::string> &title) = 0;

    // Handles the window events pending at this moment and returns without
    // waiting for new ones. A pending click may run a handler of the window,
    // and so the rebuild itself, from inside this call.
    virtual void PumpEvents() = 0;

    // Ends the process at once: nothing of the program runs after it.
    [[noreturn]] virtual void EndProgram() = 0;
};

// The file system as the rebuild sees it.
class FileSystem {
  public:
    virtual ~FileSystem() = default;

    // The full path of the directory holding the program's executable, links
    // resolved, with no trailing separator except for the root.
    virtual std::string ExecutableDirectory() = 0;

    // Copies the whole file `source` to `destination`, creating it or
    // replacing it, and makes the copy durable before returning. Throws
    // PlatformError on any failure, and then leaves no partial destination.
    virtual void CopyFile(const std::string &source, const std::string &destination) = 0;

    // Whether a directory entry of that name exists (of any kind).
    virtual bool FileExists(const std::string &path) = 0;
};

// A listing of the files of one directory whose names match a wildcard
// pattern. "?" stands for exactly one character, "*" for any run of
// characters; other characters match regardless of letter case. Only files the
// operator would see are listed (no directories, no hidden or system files).
// Names are UTF-8 and come sorted.
class FileList {
  public:
    virtual ~FileList() = default;

    // Lists the directory anew; throws PlatformError when it cannot be read.
    virtual void SetDirectory(const std::string &path) = 0;
    // Keeps, of the directory's files, those whose names match.
    virtual void SetPattern(const std::string &pattern) = 0;
    // The number of names listed.
    virtual std::int16_t Count() = 0;
    // Selects the name at `index`, counted from 0; -1 selects none. Any other
    // index throws PlatformError.
    virtual void Select(std::int16_t index) = 0;
    // The selected name without its directory; empty when none is selected.
    virtual std::string SelectedName() = 0;
};

// What the rebuild is given to work with. The parts are owned by the program
// and outlive every run of the rebuild.
struct Platform {
    Ui &ui;
    FileSystem &file_system;
    FileList &File1;
};

}  // namespace rebuild
