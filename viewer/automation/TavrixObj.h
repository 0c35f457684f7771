// TavrixObj: the viewer's automation object, the members of ITavrixObj.
//
// A client program drives the viewer through these members: it names an
// array to show (a file or a named shared-memory segment), shows or hides
// the window, sets the region of interest, the marker, the graph kind and
// most graph properties, and asks for a refresh after changing its data.
// Every member acts on the viewer's one document and, through the document's
// control accessor, on the graph control; none of them reaches the control
// any other way.
//
// The members form one table in interface order (109 entries: each get/put
// pair is two, GetX and PutX). Arguments and results are plotrane::Variant
// values typed by a signature string of the bus's letters: 'i' long, 'n'
// short, 'u' colour, 'd' double, 's' string; 'f' is a float member, which
// travels as a double. The table is independent of the bus, so the server
// only converts messages and the members are tested without one.
//
// Every value that comes from a client is checked before it is used:
// dimension indices against the array, graph kinds, precisions, string
// lengths; a member that needs an array fails clearly while none is loaded.
// Failures carry an HRESULT-style code, an error name for the bus and a
// message naming the member. User-interface thread only.
#pragma once

#include "plotrane/ControlDispatch.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class CArrayDoc;
class CPlotrane2D;

namespace automation {

using Value = plotrane::Variant;
using Values = std::vector<Value>;

// Failure codes (as the bus client sees them).
inline constexpr uint32_t kNoDocument = 0x80040000u;           // no document can be made
inline constexpr uint32_t kInvalidArg = 0x80070057u;           // a value out of range
inline constexpr uint32_t kNoArray = 0x8000FFFFu;              // needs an array, none loaded
inline constexpr uint32_t kAccessDenied = 0x80070005u;         // not the client that created it
inline constexpr uint32_t kUnknownMember = 0x80020003u;        // no member of that name
inline constexpr uint32_t kTypeMismatch = 0x80020005u;         // arguments of the wrong kind
inline constexpr uint32_t kInvalidPropertyValue = 0x800A017Cu; // the control refused (380)
inline constexpr uint32_t kLoadFailed = 0x80004005u;           // the array could not be read

inline constexpr const char* kErrorInvalidArg = "com.veradyne.Tavrix.Error.InvalidArg";
inline constexpr const char* kErrorNoArray = "com.veradyne.Tavrix.Error.NoArray";
inline constexpr const char* kErrorNoDocument = "com.veradyne.Tavrix.Error.NoDocument";
inline constexpr const char* kErrorLoadFailed = "com.veradyne.Tavrix.Error.LoadFailed";
inline constexpr const char* kErrorInvalidPropertyValue =
    "com.veradyne.Tavrix.Error.InvalidPropertyValue";
inline constexpr const char* kErrorAccessDenied = "org.freedesktop.DBus.Error.AccessDenied";
inline constexpr const char* kErrorUnknownMethod = "org.freedesktop.DBus.Error.UnknownMethod";
inline constexpr const char* kErrorInvalidArgs = "org.freedesktop.DBus.Error.InvalidArgs";

// Longest name (file, segment, title) a client may pass, and longest
// annotation text.
inline constexpr size_t kMaxNameBytes = 4096;
inline constexpr size_t kMaxTextBytes = 1 << 20;

struct Result {
    uint32_t code = 0; // 0 on success
    std::string error; // bus error name on failure
    std::string message;
    Values out;
    bool ok() const { return code == 0; }
};

class TavrixObj;

struct Member {
    enum Needs { Anything, AnArray };
    int id;           // dispatch identifier of the table entry (1..69)
    std::string name; // "GetFileName", "PutFileName", "SetRoi"
    const char* in;   // argument signature
    const char* out;  // result signature
    Needs needs;
    int dispid; // the control property it forwards to, or 0
    Result (*run)(TavrixObj&, const Member&, const Values&);
};

// The interface's members in order.
const std::vector<Member>& members();
const Member* findMember(std::string_view name);
// The bus signature of a member signature ('f' travels as 'd').
std::string busSignature(const char* signature);

class TavrixObj {
public:
    // showFrame(true) shows the document's frame windows, (false) hides them.
    TavrixObj(CArrayDoc& document, std::function<void(bool)> showFrame);

    // Runs the member called name with args (already of the member's kinds:
    // Int for 'i', 'n', 'u'; Double for 'd', 'f'; String for 's').
    Result call(std::string_view name, const Values& args);

    CArrayDoc& document() { return m_doc; }
    void showFrame(bool show) {
        if (m_showFrame) m_showFrame(show);
    }
    // The control while the document holds an array, else nullptr.
    CPlotrane2D* control() const;
    // What the document said (messages, questions) during the member that
    // runs now; nothing of it was shown.
    const std::vector<std::string>& said() const { return m_said; }

private:
    CArrayDoc& m_doc;
    std::function<void(bool)> m_showFrame;
    std::vector<std::string> m_said;
};

} // namespace automation
