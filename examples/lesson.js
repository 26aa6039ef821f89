// The lesson of lesson.vbs, in JScript: the trainer console, the fault unit
// and the PLC trainer, each step printed with what the unit said. Every call
// returns a status: 61 when the unit answered, 60 when it did not, 65 when a
// fault item was malformed.
//
// Run it with:  cscript //nologo lesson.js
//
// On Windows, new ActiveXObject("OrvoTrainer.Echo") works as well. Under Wine
// (where this lesson is tried without hardware) the versioned names
// ("OrvoTrainer.Echo.1") are used, since Wine does not follow the CurVer link
// from the plain name to them.
var problems = 0;

function said(status) {
  switch (status) {
    case 61: return "ok";
    case 60: return "no answer";
    case 65: return "malformed fault item";
    default: return "status " + status;
  }
}

// Prints one step and remembers whether it worked.
function step(what, status) {
  var padded = what;
  while (padded.length < 44) padded += " ";
  WScript.Echo(padded + said(status));
  if (status !== 61) problems++;
}

// A hunt that found nothing leaves Port at 0, which is also the USB link's
// number: only a hunt that succeeded says where the unit is.
function foundOn(status, place) {
  return status === 61 ? "found on " + place : "not found";
}

function onOff(bit) {
  return bit === 1 ? "on" : "off";
}

// --- The trainer console -------------------------------------------------
var console = new ActiveXObject("OrvoTrainer.Echo.1");
WScript.Echo("The trainer console");
var found = console.SetAddress(5);
step("  find the console at address 5", found);
WScript.Echo("    " + foundOn(found, console.Port === 0 ? "USB" : "COM" + console.Port));
step("  supplies -12 V and +15 V", console.SetVoltages(-12, 15));
step("  switches AC1 and DC3 on", console.SetSwitches("AC1,DC3"));
step("  read the status back", console.CheckComm());
WScript.Echo("    supplies: -" + console.Neg + " V and +" + console.Pos + " V");
WScript.Echo("    AC1 " + onOff(console.AC1) + ", DC1 " + onOff(console.DC1) +
             ", AC2 " + onOff(console.AC2) + ", DC2 " + onOff(console.DC2) +
             ", SP3 " + onOff(console.SP3) + ", DC3 " + onOff(console.DC3));
step("  read the model", console.ReadModel());
WScript.Echo("    model " + console.Model + "." + console.SubModel + ", version " + console.Version);
step("  read meter channel 3", console.ReadChannel(0, 3));
WScript.Echo("    channel 3 reads " + console.Channel);
step("  keyboard for the student, faults not", console.SetStudentControl("true", "false"));
step("  warning light on", console.SetWarning("true"));

// --- The fault-insertion unit ---------------------------------------------
var faults = new ActiveXObject("OrvoTrainer.Fault.1");
WScript.Echo("The fault unit");
faults.Address = 9;
found = faults.HuntPort();
step("  hunt for the fault unit", found);
WScript.Echo("    " + foundOn(found, "COM" + faults.Port));
step("  insert faults 3 and 7", faults.SendFaults("F3,F7"));
step("  take fault 7 out again", faults.SendFaults("E7"));

// --- The PLC trainer ------------------------------------------------------
var plc = new ActiveXObject("OrvoTrainer.Plc.1");
WScript.Echo("The PLC trainer");
plc.Address = 3;
found = plc.HuntPort();
step("  hunt for the PLC trainer", found);
WScript.Echo("    " + foundOn(found, "COM" + plc.Port));
step("  read the main block", plc.ReadMain());
WScript.Echo("    DC " + plc.DC + ", monitor " + plc.Monitor + ", selector " + plc.Selector);
step("  read the external block", plc.ReadExternal());
WScript.Echo("    supply " + plc.Voltage + " V, PC1 " + plc.PC1 + ", PC2 " + plc.PC2);
step("  clock in the process value 1234", plc.SetProcess(1234));
// The transfer leaves the selector lines low, so the selector comes after it.
step("  selector lines to 0101", plc.SetSelector(5));

if (problems === 0) {
  WScript.Echo("lesson passed");
} else {
  WScript.Echo("lesson failed: " + problems + " step(s) got no answer");
  WScript.Quit(1);
}
