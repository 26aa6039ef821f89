// orvotrainer._orvotrainer: the three classes of liborvotrainer for Python,
// with the members, properties and statuses of the automation classes, so
// that a lesson reads as it does in VBScript:
//
//   e = orvotrainer.Echo(); e.Port = 7; status = e.SetVoltages(-12, 15)
//
// Arguments are taken as an automation host takes them for an Integer or a
// String parameter: an int that does not fit 16 bits is an OverflowError
// (DISP_E_OVERFLOW there), anything that is no int or no str a TypeError
// (DISP_E_TYPEMISMATCH). Every call into a class lets other Python threads
// run: a method can wait seconds on a silent port, and even a property read
// waits while another thread's call on the same object holds its lock.
#include <pybind11/pybind11.h>

#include <string>
#include <utility>

#include "ApiDocs.h"
#include "orvotrainer/orvotrainer.h"

namespace py = pybind11;
using namespace pybind11::literals;

namespace {

struct Integer {
  short Value = 0;
};
struct Text {
  std::string Value;
};

}  // namespace

namespace pybind11::detail {

template <>
struct type_caster<Integer> {
  PYBIND11_TYPE_CASTER(Integer, const_name("int"));

  // Whatever Python accepts as an index (int, bool, a numpy integer), but
  // not a float: automation would round 2.5 to 2, which hides a mistake.
  bool load(handle source, bool) {
    if (!source || !PyIndex_Check(source.ptr())) return false;
    const object number = reinterpret_steal<object>(PyNumber_Index(source.ptr()));
    if (!number) throw error_already_set();
    int overflow = 0;
    const long v = PyLong_AsLongAndOverflow(number.ptr(), &overflow);
    if (v == -1 && PyErr_Occurred()) throw error_already_set();
    if (overflow != 0 || v < -32768 || v > 32767) {
      PyErr_Format(PyExc_OverflowError, "%R does not fit a 16-bit Integer (-32768 to 32767)",
                   source.ptr());
      throw error_already_set();
    }
    value.Value = static_cast<short>(v);
    return true;
  }
};

template <>
struct type_caster<Text> {
  PYBIND11_TYPE_CASTER(Text, const_name("str"));

  // str only: bytes have no text until someone says which encoding. A lone
  // surrogate, which a UTF-16 automation string can hold too, passes as
  // bytes the library reads as malformed, so the call reports that rather
  // than Python raising UnicodeEncodeError.
  bool load(handle source, bool) {
    if (!source || !PyUnicode_Check(source.ptr())) return false;
    const object bytes = reinterpret_steal<object>(
        PyUnicode_AsEncodedString(source.ptr(), "utf-8", "surrogatepass"));
    if (!bytes) throw error_already_set();
    value.Value.assign(PyBytes_AS_STRING(bytes.ptr()),
                       static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.ptr())));
    return true;
  }
};

}  // namespace pybind11::detail

namespace {

// The Python-side type of each parameter of the C++ classes.
template <class T>
struct Outside;
template <>
struct Outside<short> {
  using type = Integer;
};
template <>
struct Outside<const std::string&> {
  using type = Text;
};

short Inside(const Integer& number) { return number.Value; }
const std::string& Inside(const Text& text) { return text.Value; }

template <class Class, class Result, class... Args>
auto Adapt(Result (Class::*member)(Args...)) {
  return [member](Class& self, typename Outside<Args>::type... args) -> Result {
    return (self.*member)(Inside(args)...);
  };
}
template <class Class, class Result>
auto Adapt(Result (Class::*member)() const) {
  return [member](const Class& self) -> Result { return (self.*member)(); };
}

using Released = py::call_guard<py::gil_scoped_release>;

template <class Class, class Member, class... Extra>
void Method(py::class_<Class>& cls, const char* name, Member member, const char* doc,
            Extra&&... extra) {
  cls.def(name, Adapt(member), doc, Released(), std::forward<Extra>(extra)...);
}

template <class Class, class Get>
void Readable(py::class_<Class>& cls, const char* name, Get get, const char* doc) {
  cls.def_property_readonly(name, py::cpp_function(Adapt(get), py::name(name), Released()), doc);
}

template <class Class, class Get, class Put>
void Writable(py::class_<Class>& cls, const char* name, Get get, Put put, const char* doc) {
  cls.def_property(name, py::cpp_function(Adapt(get), py::name(name), Released()),
                   py::cpp_function(Adapt(put), py::name(name), Released()), doc);
}

// Each member's docstring is its section of docs/api.md, by the member's
// own name: a member bound here without a section there does not compile.
#define ORVO_READ(Name) Readable(cls, #Name, &Class::get_##Name, Doc::Name)
#define ORVO_WRITE(Name) Writable(cls, #Name, &Class::get_##Name, &Class::put_##Name, Doc::Name)
#define ORVO_CALL(Name, ...) Method(cls, #Name, &Class::Name, Doc::Name __VA_OPT__(, ) __VA_ARGS__)

// What all three classes have.
template <class Class, class Doc>
py::class_<Class> Common(py::module_& module, const char* name) {
  py::class_<Class> cls(module, name, Doc::section);
  // Making an object reads the remembered ports, under a file lock other
  // processes share.
  cls.def(py::init<>(), Released());
  ORVO_WRITE(Port);
  ORVO_WRITE(Address);
  ORVO_CALL(SetAddress, "Address"_a);
  ORVO_CALL(HuntPort);
  ORVO_CALL(CheckComm);
  ORVO_CALL(StartCai);
  ORVO_CALL(EndCai);
  ORVO_CALL(SendFaults, "faults"_a);
  return cls;
}

void BindEcho(py::module_& module) {
  using Class = orvotrainer::Echo;
  using Doc = orvotrainer::docs::Echo;
  auto cls = Common<Class, Doc>(module, "Echo");
  ORVO_READ(Model);
  ORVO_READ(SubModel);
  ORVO_READ(Version);
  ORVO_READ(Neg);
  ORVO_READ(Pos);
  ORVO_READ(AC1);
  ORVO_READ(DC1);
  ORVO_READ(AC2);
  ORVO_READ(DC2);
  ORVO_READ(SP3);
  ORVO_READ(AC3);
  ORVO_READ(DC3);
  ORVO_READ(Channel);
  ORVO_CALL(CheckCommEx);
  ORVO_CALL(ReadModel);
  ORVO_CALL(ReadChannel, "pc"_a, "Channel"_a);
  ORVO_CALL(SetVoltages, "negative"_a, "positive"_a);
  ORVO_CALL(SetSwitches, "switches"_a);
  ORVO_CALL(SetSwitchesEx, "switches"_a);
  ORVO_CALL(ChangeSwitch, "switchx"_a, "value"_a);
  ORVO_CALL(ChangeSwitchEx, "switchx"_a, "value"_a);
  ORVO_CALL(SetStudentControl, "keyboard"_a, "faults"_a);
  ORVO_CALL(SetWarning, "warning"_a);
  ORVO_CALL(SetAux, "aux"_a);
  ORVO_CALL(SetBncs, "input"_a, "output"_a);
  ORVO_CALL(SetSpeaker, "speaker"_a);
}

void BindPlc(py::module_& module) {
  using Class = orvotrainer::Plc;
  using Doc = orvotrainer::docs::Plc;
  auto cls = Common<Class, Doc>(module, "Plc");
  ORVO_READ(DC);
  ORVO_READ(Monitor);
  ORVO_READ(Selector);
  ORVO_READ(Voltage);
  ORVO_READ(PC1);
  ORVO_READ(PC2);
  ORVO_CALL(ReadMain);
  ORVO_CALL(ReadExternal);
  ORVO_CALL(SetProcess, "process"_a);
  ORVO_CALL(ClearFaults);
  ORVO_CALL(SetSelector, "Selector"_a);
}

void BindFault(py::module_& module) {
  using Class = orvotrainer::Fault;
  using Doc = orvotrainer::docs::Fault;
  auto cls = Common<Class, Doc>(module, "Fault");
  ORVO_CALL(ClearFaults);
}

}  // namespace

PYBIND11_MODULE(_orvotrainer, module) {
  module.doc() =
      "Orvo electronics trainers: the trainer console (Echo), the PLC trainer (Plc) and the\n"
      "fault-insertion unit (Fault). Every method returns the unit's status: Success (61),\n"
      "Failure (60) or BadFaultItem (65). See docs/api.md and docs/linux.md.";
  module.attr("Success") = orvotrainer::Success;
  module.attr("Failure") = orvotrainer::Failure;
  module.attr("BadFaultItem") = orvotrainer::BadFaultItem;
  module.attr("__version__") = orvotrainer::Version();
  BindEcho(module);
  BindPlc(module);
  BindFault(module);
}
