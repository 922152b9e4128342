// The extension module tolvimo_wav._core: the library's internal entries,
// called with Python's lock released, and their outcome handed back as a
// record of facts: the library's own lines, the refusal's kind and details,
// and what a person is told about it (the character's name, the hint, the
// close voice names, the system's reason). The package's Python code frames
// these facts and words nothing of the library's own.
//
// Nothing here touches process-wide state: the library prints nothing and
// every call keeps what it needs on its own stack, so calls on several
// threads run at once.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "request/explanation.h"
#include "request/outcome.h"
#include "request/render_entry.h"
#include "request/report.h"

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace py = pybind11;

namespace {

using WideText = std::basic_string<TolvimoUtf16>;

// A str as the library's NUL-terminated UTF-16, read straight from the
// string's code points (no codec is looked up, and nothing of a str
// subclass's own runs). A U+0000 would end the text early, so it is refused
// here, where the code points themselves are read. An unpaired surrogate goes
// through as it is in the notes and the instrument (the library reads it as
// U+FFFD, and names the caller's own character); in a path it would name a
// file the caller never named, so a path holding one is refused.
WideText Wide(const py::str& text, const char* name, bool isPath = false) {
    PyObject* const object = text.ptr();
#if PY_VERSION_HEX < 0x030C0000
    if (PyUnicode_READY(object) != 0) throw py::error_already_set();
#endif
    const int kind = PyUnicode_KIND(object);
    const void* const data = PyUnicode_DATA(object);
    const Py_ssize_t length = PyUnicode_GET_LENGTH(object);
    WideText wide;
    wide.reserve(static_cast<size_t>(length));
    for (Py_ssize_t i = 0; i < length; ++i) {
        const Py_UCS4 point = PyUnicode_READ(kind, data, i);
        if (point == 0) {
            PyErr_Format(PyExc_ValueError,
                         "%s contains U+0000, which the library's strings cannot carry", name);
            throw py::error_already_set();
        }
        if (isPath && point >= 0xD800 && point <= 0xDFFF) {
            // A plain str's repr (whatever a subclass makes of its own), cut
            // for a long path.
            const bool cut = length > 60;
            const auto part = py::reinterpret_steal<py::object>(
                PyUnicode_Substring(object, 0, cut ? 57 : length));
            if (!part) throw py::error_already_set();
            const auto shown =
                py::reinterpret_steal<py::object>(PyUnicode_Type.tp_repr(part.ptr()));
            if (!shown) throw py::error_already_set();
            PyErr_Format(PyExc_ValueError,
                         "%s %U%s holds an unpaired surrogate and names no file the library can "
                         "open",
                         name, shown.ptr(), cut ? "..." : "");
            throw py::error_already_set();
        }
        if (point < 0x10000) {
            wide.push_back(static_cast<TolvimoUtf16>(point));
        } else {
            wide.push_back(static_cast<TolvimoUtf16>(0xD800 + ((point - 0x10000) >> 10)));
            wide.push_back(static_cast<TolvimoUtf16>(0xDC00 + ((point - 0x10000) & 0x3FF)));
        }
    }
    return wide;
}

// The library takes the rate as a 32-bit integer. A larger one is clamped,
// never wrapped, so the library refuses it in its own order of checks
// (4294975296 would otherwise wrap to 8000).
int32_t ClampedRate(const py::int_& rate) {
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(rate.ptr(), &overflow);
    if (value == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (overflow > 0 || value > INT32_MAX) return INT32_MAX;
    if (overflow < 0 || value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

// The library's 8-bit text (UTF-8 on POSIX) as a str; a byte that is not
// UTF-8 becomes U+FFFD rather than failing the call.
py::str Text(const std::string& text) {
    const auto decoded = py::reinterpret_steal<py::str>(
        PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
    if (!decoded) throw py::error_already_set();
    return decoded;
}

std::optional<py::str> TextOrNone(const std::string& text) {
    if (text.empty()) return std::nullopt;
    return Text(text);
}

// What the package reads of an outcome.
struct Facts {
    int status = 0;
    std::string kind;
    py::str lines;
    py::str shown_line;
    std::optional<std::string> voice;
    int sample_rate = 0;
    long long sample_count = 0;
    unsigned long long note_text_bytes = 0;
    std::optional<unsigned long long> position;
    std::optional<py::str> character;
    std::optional<py::str> character_name;
    std::optional<py::str> hint;
    std::optional<py::str> reason;
    int system_error = 0;
    py::tuple suggestions;
    py::object data = py::none();
};

Facts FactsOf(const tolvimo::Outcome& outcome) {
    Facts facts;
    facts.status = outcome.status;
    facts.kind = tolvimo::RowOf(outcome.refusal).name;
    facts.lines = Text(tolvimo::LibraryLines(outcome));
    facts.shown_line = Text(tolvimo::ShownLine(outcome));
    if (outcome.voice != nullptr) facts.voice = outcome.voice;
    facts.sample_rate = outcome.sampleRate;
    facts.sample_count = outcome.sampleCount;
    facts.note_text_bytes = outcome.noteTextBytes;
    using tolvimo::RefusalKind;
    switch (outcome.refusal) {
        case RefusalKind::InvalidNote: {
            const tolvimo::BadNote& note = outcome.badNote;
            facts.position = note.position;
            const auto character = py::reinterpret_steal<py::str>(
                PyUnicode_FromOrdinal(static_cast<int>(note.character)));
            if (!character) throw py::error_already_set();
            facts.character = character;
            facts.character_name = Text(tolvimo::NameCharacter(note.character));
            facts.hint = Text(tolvimo::NoteHint(note));
            break;
        }
        case RefusalKind::UnknownInstrument: {
            const auto close = tolvimo::CloseInstruments(outcome);
            py::tuple names(close.size());
            for (size_t i = 0; i < close.size(); ++i)
                names[i] = py::str(close[i].data(), close[i].size());
            facts.suggestions = std::move(names);
            facts.hint =
                Text(tolvimo::InstrumentHint(outcome, "tolvimo_wav.VOICES holds every name"));
            break;
        }
        case RefusalKind::CannotOpen:
        case RefusalKind::CannotWrite:
            facts.reason = TextOrNone(tolvimo::OutputReason(outcome));
            facts.system_error = outcome.systemError;
            break;
        default: break;
    }
    return facts;
}

Facts RenderFile(const py::str& instrument, const py::str& notes, const py::int_& sampleRate,
                 const py::str& path) {
    const WideText wideInstrument = Wide(instrument, "instrument"),
                   wideNotes = Wide(notes, "notes"), widePath = Wide(path, "path", true);
    const int32_t rate = ClampedRate(sampleRate);
    std::optional<tolvimo::Outcome> outcome;
    {
        py::gil_scoped_release unlocked;
        outcome.emplace(tolvimo::RenderToFile(wideInstrument.c_str(), wideNotes.c_str(), rate,
                                              widePath.c_str()));
    }
    return FactsOf(*outcome);
}

// The object a render into memory fills: a bytes object for the whole file,
// an array('h') for the samples alone. Made inside the call, with the lock
// taken back, once the library knows the exact size.
struct Room {
    tolvimo::MemoryFormat format;
    py::object result;
    Py_buffer view{};  // the array's memory, held while the library writes it
    bool viewed = false;
};

// Below this size the pages are left to be found one by one.
constexpr size_t READY_IN_BULK_BYTES = size_t{1} << 20;

// Fresh memory of a bytes object that the render is about to write whole,
// made ready before it starts: where the system offers it, the huge pages
// that lie wholly inside it are asked for, and every page of it is then
// mapped in one call instead of one fault per page as it is written. On a
// system without either advice (before Linux 5.14 for the second) the
// calls fail and the pages come as they are written; nothing else changes.
// The huge-page advice covers only whole huge pages inside the result, no
// byte of anything else. A large result has a mapping of its own, which goes
// with it; where the allocator carved it from a larger one, the range keeps
// the advice once freed, and what is later put there may be served by huge
// pages too, which changes nothing it holds.
void MakeReady([[maybe_unused]] void* at, [[maybe_unused]] size_t bytes) {
#if defined(__linux__)
    if (bytes < READY_IN_BULK_BYTES) return;
    const int saved = errno;
    const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<uintptr_t>(at);
    const uintptr_t end = start + bytes;
#if defined(MADV_HUGEPAGE)
    // A huge page is mapped by one entry of the table above the last: as
    // many base pages as a page holds entries.
    const uintptr_t huge = page * (page / sizeof(void*));
    const uintptr_t first = (start + huge - 1) & ~(huge - 1), last = end & ~(huge - 1);
    if (first < last) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
#if !defined(MADV_POPULATE_WRITE)
    constexpr int MADV_POPULATE_WRITE = 23;  // Linux 5.14; older headers lack it
#endif
    const uintptr_t from = start & ~(page - 1), to = (end + page - 1) & ~(page - 1);
    madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
    errno = saved;
#endif
}

// The result's object, made with the lock taken back; its memory, or null
// when there is no memory for it.
void* MakeResult(Room& room, size_t bytes) {
    py::gil_scoped_acquire locked;
    try {
        if (room.format == tolvimo::MemoryFormat::WavFile) {
            room.result = py::reinterpret_steal<py::object>(
                PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(bytes)));
            if (!room.result) throw py::error_already_set();
            return PyBytes_AS_STRING(room.result.ptr());
        }
        // One zero sample repeated: the array is made at its final size, and
        // nothing else of that size exists at any time.
        const py::object one = py::module_::import("array").attr("array")("h", py::make_tuple(0));
        room.result = py::reinterpret_steal<py::object>(
            PySequence_Repeat(one.ptr(), static_cast<Py_ssize_t>(bytes / sizeof(int16_t))));
        if (!room.result) throw py::error_already_set();
        if (PyObject_GetBuffer(room.result.ptr(), &room.view, PyBUF_WRITABLE) != 0)
            throw py::error_already_set();
        room.viewed = true;
        // The module is looked up by name, and a host may have put another
        // in its place: its array must hold exactly the bytes to be written.
        if (room.view.itemsize != sizeof(int16_t) ||
            room.view.len != static_cast<Py_ssize_t>(bytes)) {
            throw py::type_error("sys.modules['array'] makes arrays whose items are not 2 bytes");
        }
        return room.view.buf;
    } catch (py::error_already_set& error) {
        // No memory for the result: the library refuses the request as out
        // of memory, like any allocation of its own that fails.
        if (!error.matches(PyExc_MemoryError)) throw;
        room.result = py::none();
        return nullptr;
    }
}

void* Reserve(void* context, size_t bytes) {
    auto& room = *static_cast<Room*>(context);
    void* const at = MakeResult(room, bytes);
    // Outside the lock, so other threads run meanwhile. The array's pages
    // were all written by its making.
    if (at != nullptr && room.format == tolvimo::MemoryFormat::WavFile) MakeReady(at, bytes);
    return at;
}

Facts RenderMemory(const py::str& instrument, const py::str& notes, const py::int_& sampleRate,
                   bool samples) {
    const WideText wideInstrument = Wide(instrument, "instrument"),
                   wideNotes = Wide(notes, "notes");
    const int32_t rate = ClampedRate(sampleRate);
    Room room{samples ? tolvimo::MemoryFormat::Samples : tolvimo::MemoryFormat::WavFile,
              py::none()};
    std::optional<tolvimo::Outcome> outcome;
    {
        py::gil_scoped_release unlocked;
        outcome.emplace(tolvimo::RenderToMemory(wideInstrument.c_str(), wideNotes.c_str(), rate,
                                                room.format, {Reserve, &room}));
    }
    if (room.viewed) PyBuffer_Release(&room.view);
    Facts facts = FactsOf(*outcome);
    if (outcome->status == TOLVIMO_STATUS_CREATED) {
        // Samples for no notes: the library reserves nothing.
        facts.data = room.result.is_none() && samples
                         ? py::module_::import("array").attr("array")("h")
                         : std::move(room.result);
    }
    return facts;
}

}  // namespace

PYBIND11_MODULE(_core, module) {
    module.doc() = "The library's entries for tolvimo_wav; use the package's functions instead.";
    // What the report of a render into memory calls the output.
    module.attr("MEMORY_OUTPUT_NAME") = tolvimo::MEMORY_OUTPUT_NAME;
    py::class_<Facts>(module, "Outcome")
        .def_readonly("status", &Facts::status)
        .def_readonly("kind", &Facts::kind)
        .def_readonly("lines", &Facts::lines)
        .def_readonly("shown_line", &Facts::shown_line)
        .def_readonly("voice", &Facts::voice)
        .def_readonly("sample_rate", &Facts::sample_rate)
        .def_readonly("sample_count", &Facts::sample_count)
        .def_readonly("note_text_bytes", &Facts::note_text_bytes)
        .def_readonly("position", &Facts::position)
        .def_readonly("character", &Facts::character)
        .def_readonly("character_name", &Facts::character_name)
        .def_readonly("hint", &Facts::hint)
        .def_readonly("reason", &Facts::reason)
        .def_readonly("system_error", &Facts::system_error)
        .def_readonly("suggestions", &Facts::suggestions)
        .def_readonly("data", &Facts::data);
    module.def("render_file", &RenderFile, py::arg("instrument"), py::arg("notes"),
               py::arg("sample_rate"), py::arg("path"),
               "Renders into the file at path; returns the outcome.");
    module.def("render_memory", &RenderMemory, py::arg("instrument"), py::arg("notes"),
               py::arg("sample_rate"), py::arg("samples"),
               "Renders into memory: the file's bytes, or with samples an array('h') of the "
               "samples; returns the outcome with them in data.");
}
