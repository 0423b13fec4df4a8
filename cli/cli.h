// The console program: options, prompts and the console output of every line.
#pragma once

#include <string>
#include <vector>

#include "engine/engine.h"

// Reads the options, asks for confirmation and runs the cleanup or the audit;
// returns the process exit code.
int RunConsoleProgram(int argc, wchar_t** argv);

// popswat --fix, --undo, --list-changes.
struct ChangeCommand {
    std::vector<std::wstring> ids;  // --fix=<id>,...: those findings; none: every recommended one
    std::wstring run;               // --undo=<date>_<time>: that run; "": the newest with changes not undone
    bool yes = false;
    bool preview = false;
    bool json = false;  // the document on standard output, lines on standard error
};
int RunFixCommand(const ChangeCommand& command);
int RunUndoCommand(const ChangeCommand& command);
int RunListChangesCommand(const ChangeCommand& command);

// Writes text to standard output, whatever it is (a console, a file or a pipe),
// so that every character arrives: UTF-16 through WriteConsoleW on a console,
// UTF-8 without a byte-order mark to a file or pipe. Each line feed becomes CR LF.
void WriteOutputText(const std::wstring& text);
// The same for standard error.
void WriteErrorText(const std::wstring& text);

// A LogSink that prints each line followed by a line end.
LogSink ConsoleLogSink();

// Reads one answer line from standard input, console or redirected, and keeps
// at most ANSWER_CHARS characters of it (a line feed among them counts).
// False when nothing could be read: end of input or a read error.
constexpr std::size_t ANSWER_CHARS = 15;
bool ReadAnswerLine(std::wstring* answer);
