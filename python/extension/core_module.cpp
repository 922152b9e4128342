// The extension module tolvimo_wav._core: the library's public functions,
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
#include <cstring>
#include <optional>
#include <string>
#include <utility>

#include "TolvimoWAVInstruments.h"

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace py = pybind11;

namespace {

// A str as the library's NUL-terminated UTF-8, read straight from the
// string's code points (no codec is looked up, and nothing of a str
// subclass's own runs). A U+0000 would end the text early, so it is refused
// here, where the code points themselves are read. An unpaired surrogate in
// the notes or the instrument goes as U+FFFD, as the library reads one in
// UTF-16 text (the facts name the caller's own character); in a path it
// would name a file the caller never named, so a path holding one is
// refused.
std::string Utf8(const py::str& text, const char* name, bool isPath = false) {
    PyObject* const object = text.ptr();
#if PY_VERSION_HEX < 0x030C0000
    if (PyUnicode_READY(object) != 0) throw py::error_already_set();
#endif
    const int kind = PyUnicode_KIND(object);
    const void* const data = PyUnicode_DATA(object);
    const Py_ssize_t length = PyUnicode_GET_LENGTH(object);
    std::string utf8;
    utf8.reserve(static_cast<size_t>(length));
    for (Py_ssize_t i = 0; i < length; ++i) {
        Py_UCS4 point = PyUnicode_READ(kind, data, i);
        if (point == 0) {
            PyErr_Format(PyExc_ValueError,
                         "%s contains U+0000, which the library's strings cannot carry", name);
            throw py::error_already_set();
        }
        if (point >= 0xD800 && point <= 0xDFFF) {
            if (!isPath) {
                point = 0xFFFD;
            } else {
                // A plain str's repr (whatever a subclass makes of its own),
                // cut for a long path.
                const bool cut = length > 60;
                const auto part = py::reinterpret_steal<py::object>(
                    PyUnicode_Substring(object, 0, cut ? 57 : length));
                if (!part) throw py::error_already_set();
                const auto shown =
                    py::reinterpret_steal<py::object>(PyUnicode_Type.tp_repr(part.ptr()));
                if (!shown) throw py::error_already_set();
                PyErr_Format(PyExc_ValueError,
                             "%s %U%s holds an unpaired surrogate and names no file the library "
                             "can open",
                             name, shown.ptr(), cut ? "..." : "");
                throw py::error_already_set();
            }
        }
        if (point < 0x80) {
            utf8.push_back(static_cast<char>(point));
        } else if (point < 0x800) {
            utf8.push_back(static_cast<char>(0xC0 | (point >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (point & 0x3F)));
        } else if (point < 0x10000) {
            utf8.push_back(static_cast<char>(0xE0 | (point >> 12)));
            utf8.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | (point & 0x3F)));
        } else {
            utf8.push_back(static_cast<char>(0xF0 | (point >> 18)));
            utf8.push_back(static_cast<char>(0x80 | ((point >> 12) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | (point & 0x3F)));
        }
    }
    return utf8;
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

// The library's UTF-8 text as a str; a byte that is not UTF-8 becomes
// U+FFFD rather than failing the call.
py::str Text(const std::string& text) {
    const auto decoded = py::reinterpret_steal<py::str>(
        PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
    if (!decoded) throw py::error_already_set();
    return decoded;
}

// One part of the library's description of `outcome`.
std::string Part(const TolvimoOutcome& outcome, int32_t part) {
    std::string text(TolvimoDescribePart(&outcome, part, nullptr, 0), '\0');
    TolvimoDescribePart(&outcome, part, text.data(), text.size() + 1);
    return text;
}

std::optional<py::str> PartOrNone(const TolvimoOutcome& outcome, int32_t part) {
    const std::string text = Part(outcome, part);
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

// The outcome's facts; `notes` is the caller's own note text, whose
// character at the refused position is named (an unpaired surrogate the
// library read as U+FFFD among them).
Facts FactsOf(TolvimoOutcome outcome, const py::str& notes) {
    Facts facts;
    facts.status = outcome.status;
    // The kinds in the library's order, as the package's generated facts
    // list them (the catalogue's, "none" first).
    facts.kind =
        outcome.refusal == TOLVIMO_REFUSAL_NONE
            ? "none"
            : py::cast<std::string>(py::module_::import("tolvimo_wav._generated")
                                        .attr("REFUSAL_KINDS")[py::int_(outcome.refusal - 1)]);
    facts.lines = Text(Part(outcome, TOLVIMO_PART_LINES) + "\n");
    facts.shown_line = Text(Part(outcome, TOLVIMO_PART_SHOWN_LINE));
    if (const char* voice = TolvimoVoiceName(outcome.voice)) facts.voice = voice;
    facts.sample_rate = outcome.sampleRate;
    facts.sample_count = outcome.sampleCount;
    facts.note_text_bytes = outcome.noteTextBytes;
    switch (outcome.refusal) {
        case TOLVIMO_REFUSAL_INVALID_NOTE: {
            // Every character before it is a one-byte note character: its
            // byte offset is its index in the str.
            facts.position = static_cast<unsigned long long>(outcome.position);
            const auto character = py::reinterpret_steal<py::str>(
                PySequence_GetItem(notes.ptr(), static_cast<Py_ssize_t>(outcome.position)));
            if (!character) throw py::error_already_set();
            outcome.character = static_cast<uint32_t>(PyUnicode_READ_CHAR(character.ptr(), 0));
            facts.character = character;
            facts.character_name = PartOrNone(outcome, TOLVIMO_PART_CHARACTER);
            facts.hint = PartOrNone(outcome, TOLVIMO_PART_HINT);
            break;
        }
        case TOLVIMO_REFUSAL_UNKNOWN_INSTRUMENT: {
            const std::string close = Part(outcome, TOLVIMO_PART_SUGGESTIONS);
            py::list names;
            for (size_t start = 0; start < close.size();) {
                size_t end = close.find('\n', start);
                if (end == std::string::npos) end = close.size();
                names.append(py::str(close.data() + start, end - start));
                start = end + 1;
            }
            facts.suggestions = py::tuple(names);
            // The library's hint ends where the package says where its list is.
            facts.hint =
                Text(Part(outcome, TOLVIMO_PART_HINT) + " tolvimo_wav.VOICES holds every name");
            break;
        }
        case TOLVIMO_REFUSAL_CANNOT_OPEN:
        case TOLVIMO_REFUSAL_CANNOT_WRITE:
            facts.reason = PartOrNone(outcome, TOLVIMO_PART_REASON);
            facts.system_error = outcome.systemError;
            break;
        default: break;
    }
    return facts;
}

Facts RenderFile(const py::str& instrument, const py::str& notes, const py::int_& sampleRate,
                 const py::str& path) {
    const std::string name = Utf8(instrument, "instrument"), text = Utf8(notes, "notes"),
                      file = Utf8(path, "path", true);
    const int32_t rate = ClampedRate(sampleRate);
    TolvimoOutcome outcome{};
    {
        py::gil_scoped_release unlocked;
        TolvimoRenderFile(name.c_str(), text.c_str(), rate, file.c_str(), &outcome);
    }
    return FactsOf(outcome, notes);
}

// The object a render into memory fills: a bytes object for the whole file,
// an array('h') for the samples alone, made at the size the library
// measured.
struct Room {
    bool samples;
    py::object result;
    Py_buffer view{};  // the array's memory, held while the library writes it
    bool viewed = false;
    uint8_t* next = nullptr;  // where the sink puts the next bytes
    size_t left = 0;          // room after it
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

// The result's object, made with the lock held; its memory, or null when
// there is no memory for it.
void* MakeResult(Room& room, size_t bytes) {
    try {
        if (!room.samples) {
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
        // No memory for the result: the request is refused as out of memory,
        // like any allocation of the library's own that fails.
        if (!error.matches(PyExc_MemoryError)) throw;
        room.result = py::none();
        return nullptr;
    }
}

// The library's sink: each block straight into the result's memory.
int Fill(void* context, const void* bytes, size_t size) {
    auto& room = *static_cast<Room*>(context);
    if (size > room.left) return 1;  // more than measured: never happens
    std::memcpy(room.next, bytes, size);
    room.next += size;
    room.left -= size;
    return 0;
}

Facts RenderMemory(const py::str& instrument, const py::str& notes, const py::int_& sampleRate,
                   bool samples) {
    const std::string name = Utf8(instrument, "instrument"), text = Utf8(notes, "notes");
    const int32_t rate = ClampedRate(sampleRate);
    const int32_t format = samples ? TOLVIMO_FORMAT_SAMPLES : TOLVIMO_FORMAT_WAV;
    Room room{samples, py::none()};
    TolvimoOutcome outcome{};
    uint64_t size = 0;
    int32_t status = 0;
    {
        py::gil_scoped_release unlocked;
        status = TolvimoMeasure(name.c_str(), text.c_str(), rate, format, &size, &outcome);
    }
    if (status == TOLVIMO_STATUS_CREATED) {
        void* const at = MakeResult(room, static_cast<size_t>(size));
        if (at == nullptr && size > 0) {
            outcome.status = TOLVIMO_STATUS_FAILED;
            outcome.refusal = TOLVIMO_REFUSAL_OUT_OF_MEMORY;
        } else {
            room.next = static_cast<uint8_t*>(at);
            room.left = static_cast<size_t>(size);
            py::gil_scoped_release unlocked;
            // The pages are made ready outside the lock, so other threads
            // run meanwhile. The array's pages were all written by its making.
            if (!samples) MakeReady(at, room.left);
            TolvimoRenderToSink(name.c_str(), text.c_str(), rate, format, Fill, &room, &outcome);
        }
    }
    if (room.viewed) PyBuffer_Release(&room.view);
    Facts facts = FactsOf(outcome, notes);
    if (outcome.status == TOLVIMO_STATUS_CREATED) facts.data = std::move(room.result);
    return facts;
}

}  // namespace

PYBIND11_MODULE(_core, module) {
    module.doc() = "The library's entries for tolvimo_wav; use the package's functions instead.";
    // What the report of a render into memory calls the output.
    module.attr("MEMORY_OUTPUT_NAME") = TOLVIMO_MEMORY_OUTPUT_NAME;
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
