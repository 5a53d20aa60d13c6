// What a stand-in Tolm component answers: the simulated notebook's (Linux)
// and the test COM server's (Windows) shared model of the maker's platform
// command component, read from the "[tolm]" section of a scenario file.
//
// Not part of either program: only the stand-ins and the tests link it.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "common/hresult.h"
#include "common/variant.h"

namespace Arvek::Standin {

class TolmAnswersError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;  // "file:line: what"
};

struct TolmReply {
    HRESULT hr = kS_OK;  // a failing command's HRESULT; the value is then unused
    Variant value;
};

struct TolmAnswers {
    // The HRESULT of creating each object; kREGDB_E_CLASSNOTREG when the
    // component is absent from the machine.
    HRESULT createCommand = kS_OK;
    HRESULT createNotification = kS_OK;
    // Replies by command name, and by "name(argument)" for a command run with
    // an argument (the argument's low byte, in decimal).
    std::map<std::wstring, TolmReply> replies;

    // The reply to a command: the one for its argument first, then the
    // command's own; a command it does not know fails with 0x80000003.
    TolmReply Reply(const std::wstring& command, const Variant* argument) const;

    // A machine without the component: neither object can be created.
    static TolmAnswers Absent() { return {kREGDB_E_CLASSNOTREG, kREGDB_E_CLASSNOTREG, {}}; }
};

// Parses the lines of a "[tolm]" section (without its header line);
// `firstLine` is the line number of the first of them in `fileName`, and
// files the section names are read relative to `baseFolder`. Throws
// TolmAnswersError naming the file and line.
//
//   component = absent                      or present (the default)
//   create-command = fails 0x80070005       or works; likewise create-notification
//   Platform.MachineID = string 8042        bare text up to a " #" comment, or
//   Platform.MachineID = string "a \"b\""   quoted, with \" \\ \n \r \t \uXXXX
//   Platform.USBC.Supported = bool true     VT_BOOL 0xFFFF, or false (0)
//   SmartAdapter.Status = i4 3              VT_I4, decimal or 0x hex
//   SmartAdapter.Status = raw 0x000B 0x7FFF any type tag and 64-bit payload
//   Platform.USBC.Messages = fails 0x80000003
//   Platform.USBC.Messages(1) = xml-file port1.xml    a UTF-8 file's text
//   Platform.USBC.Messages(0) = text <<END            the lines up to END,
//   <GetUsbCMessagesOutput>...                        joined with "\n"
//   END
//
// "Name(N)" answers the command run with an argument whose low byte is N.
TolmAnswers ParseTolmAnswers(const std::string& text, const std::string& fileName, int firstLine,
                             const std::filesystem::path& baseFolder);

// A value in the answers' notation ("string text", "string \"quoted\"",
// "bool true", "i4 -3", "raw 0x000B 0x7FFF"), for the other stand-ins that
// send values (the firmware's WMI events). Errors as ParseTolmAnswers.
Variant ParseAnswerValue(std::string_view text, const std::string& fileName, int line);

// One line of a "[tolm]" section (with the lines of the text block it opens,
// if any) as a change to answers already given: what the line names is
// answered anew from then on, everything else stays as it was.
struct TolmAnswerChange {
    std::optional<HRESULT> createCommand;
    std::optional<HRESULT> createNotification;
    std::optional<std::pair<std::wstring, TolmReply>> reply;  // by key, as in TolmAnswers::replies

    void ApplyTo(TolmAnswers& answers) const;
};

// Parses such a line; errors as ParseTolmAnswers, naming `firstLine`.
TolmAnswerChange ParseTolmAnswerChange(const std::string& text, const std::string& fileName, int firstLine,
                                       const std::filesystem::path& baseFolder);

// The closing marker of a line that opens a block of text ("X = text <<END"
// gives "END"), or empty. A reader that splits a file into sections uses it
// to keep such a block whole, whatever its lines look like.
std::string TextBlockMarker(const std::string& line);

}  // namespace Arvek::Standin
