// Every member of the three classes, called by name from JScript: the
// console behind COM31 (address 31), the PLC trainer behind COM32 (address
// 32) and the fault unit behind COM33 (address 33).
// Objects are made with the versioned ProgID: Wine does not follow CurVer
// from "OrvoTrainer.Echo" to it, as Windows does.
var failures = 0;

function check(what, actual, expected) {
  if (actual === expected) {
    WScript.Echo("ok   " + what + " = " + actual);
  } else {
    WScript.Echo("FAIL " + what + " = " + actual + ", expected " + expected);
    failures++;
  }
}

// Console.
var e = new ActiveXObject("OrvoTrainer.Echo.1");
check("Echo Address at start", e.Address, 0);
check("Echo SetAddress(31)", e.SetAddress(31), 61);
check("Echo Address", e.Address, 31);
check("Echo Port", e.Port, 31);
e.Port = 31;
e.Address = 31;
check("Echo Port kept for address 31", e.Port, 31);
check("Echo HuntPort", e.HuntPort(), 61);
check("Echo CheckComm", e.CheckComm(), 61);
check("Echo Neg", e.Neg, 5);
check("Echo Pos", e.Pos, 5);
check("Echo switches", "" + e.AC1 + e.DC1 + e.AC2 + e.DC2 + e.SP3 + e.DC3, "100010");
check("Echo CheckCommEx", e.CheckCommEx(), 61);
check("Echo AC3", e.AC3, 1);
check("Echo ReadModel", e.ReadModel(), 61);
check("Echo Model", e.Model, 7);
check("Echo SubModel", e.SubModel, 2);
check("Echo Version", e.Version, "1.2.13");
check("Echo ReadChannel(3, 5)", e.ReadChannel(3, 5), 61);
check("Echo Channel", e.Channel, 4660);
check("Echo SetVoltages(-15, 24)", e.SetVoltages(-15, 24), 61);
check("Echo SetSwitches", e.SetSwitches("AC1,DC2"), 61);
check("Echo SetSwitchesEx", e.SetSwitchesEx("AC3,DC3"), 61);
check("Echo ChangeSwitch", e.ChangeSwitch("DC1", true), 61);
check("Echo ChangeSwitchEx", e.ChangeSwitchEx("AC3", false), 61);
check("Echo CheckComm after the writes", e.CheckComm(), 61);
check("Echo Neg now", e.Neg, 15);
check("Echo Pos now", e.Pos, 24);
check("Echo switches now", "" + e.AC1 + e.DC1 + e.AC2 + e.DC2 + e.SP3 + e.DC3, "010001");
check("Echo SendFaults", e.SendFaults("4A05,4B12"), 61);
check("Echo SendFaults, malformed last item", e.SendFaults("4A05,4B1"), 65);
check("Echo SetStudentControl", e.SetStudentControl("true", "false"), 61);
check("Echo SetWarning", e.SetWarning("False"), 61);
check("Echo SetAux", e.SetAux(5), 61);
check("Echo SetBncs", e.SetBncs(1, 2), 61);
check("Echo SetSpeaker", e.SetSpeaker(300), 61);
check("Echo StartCai", e.StartCai(), 61);
check("Echo EndCai", e.EndCai(), 61);

// PLC trainer.
var p = new ActiveXObject("OrvoTrainer.Plc.1");
p.Address = 32;
p.Port = 32;
check("Plc Address", p.Address, 32);
check("Plc Port", p.Port, 32);
check("Plc SetAddress", p.SetAddress(5), 61);
check("Plc Address unchanged", p.Address, 32);
check("Plc HuntPort", p.HuntPort(), 61);
check("Plc CheckComm", p.CheckComm(), 61);
check("Plc main block", "" + p.DC + p.Monitor + p.Selector, "103");
check("Plc external block", p.Voltage + "/" + p.PC1 + p.PC2, "12/10");
check("Plc ReadMain", p.ReadMain(), 61);
check("Plc ReadExternal", p.ReadExternal(), 61);
check("Plc SetSelector(9)", p.SetSelector(9), 61);
check("Plc SetProcess(4660)", p.SetProcess(4660), 61);
check("Plc ClearFaults", p.ClearFaults(), 61);
check("Plc StartCai", p.StartCai(), 61);
check("Plc EndCai", p.EndCai(), 61);
check("Plc SendFaults", p.SendFaults("F1,E12"), 61);
check("Plc SendFaults, malformed last item", p.SendFaults("F2,F123"), 65);
// Last: a call that sends nothing leaves the port briefly unopenable under
// Wine with the simulated units.
check("Plc SendFaults, empty list", p.SendFaults(""), 61);

// Fault unit.
var f = new ActiveXObject("OrvoTrainer.Fault.1");
f.Address = 33;
f.Port = 33;
check("Fault Address", f.Address, 33);
check("Fault Port", f.Port, 33);
check("Fault SetAddress", f.SetAddress(1), 61);
check("Fault HuntPort", f.HuntPort(), 61);
check("Fault CheckComm", f.CheckComm(), 61);
check("Fault ClearFaults", f.ClearFaults(), 61);
check("Fault StartCai", f.StartCai(), 61);
check("Fault EndCai", f.EndCai(), 61);
check("Fault SendFaults", f.SendFaults("F7,E12"), 61);
check("Fault SendFaults, malformed", f.SendFaults("X"), 65);

if (failures > 0) WScript.Quit(1);
WScript.Echo("lesson passed");
