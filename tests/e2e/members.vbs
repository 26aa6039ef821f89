' Every member of the three classes, called by name: the console behind
' COM31 (address 31), the PLC trainer behind COM32 (address 32) and the
' fault unit behind COM33 (address 33).
' Objects are made with WScript.CreateObject and the versioned ProgID: Wine's
' own CreateObject refuses any object with a site interface when cscript
' offers no service provider, and Wine does not follow CurVer from
' "OrvoTrainer.Echo". On Windows, CreateObject("OrvoTrainer.Echo") works.
Option Explicit
Dim failures : failures = 0

Sub Check(what, actual, expected)
  If actual = expected Then
    WScript.Echo "ok   " & what & " = " & actual
  Else
    WScript.Echo "FAIL " & what & " = " & actual & ", expected " & expected
    failures = failures + 1
  End If
End Sub

' Console.
Dim e : Set e = WScript.CreateObject("OrvoTrainer.Echo.1")
Check "Echo Address at start", e.Address, 0
Check "Echo SetAddress(31)", e.SetAddress(31), 61
Check "Echo Address", e.Address, 31
Check "Echo Port", e.Port, 31
e.Port = 31
e.Address = 31
Check "Echo Port kept for address 31", e.Port, 31
Check "Echo HuntPort", e.HuntPort, 61
Check "Echo CheckComm", e.CheckComm, 61
Check "Echo Neg", e.Neg, 5
Check "Echo Pos", e.Pos, 5
Check "Echo switches", e.AC1 & e.DC1 & e.AC2 & e.DC2 & e.SP3 & e.DC3, "100010"
Check "Echo CheckCommEx", e.CheckCommEx, 61
Check "Echo AC3", e.AC3, 1
Check "Echo ReadModel", e.ReadModel, 61
Check "Echo Model", e.Model, 7
Check "Echo SubModel", e.SubModel, 2
Check "Echo Version", e.Version, "1.2.13"
Check "Echo ReadChannel(3, 5)", e.ReadChannel(3, 5), 61
Check "Echo Channel", e.Channel, 4660
Check "Echo SetVoltages(-15, 24)", e.SetVoltages(-15, 24), 61
Check "Echo SetSwitches", e.SetSwitches("AC1,DC2"), 61
Check "Echo SetSwitchesEx", e.SetSwitchesEx("AC3,DC3"), 61
Check "Echo ChangeSwitch", e.ChangeSwitch("DC1", True), 61
Check "Echo ChangeSwitchEx", e.ChangeSwitchEx("AC3", False), 61
Check "Echo CheckComm after the writes", e.CheckComm, 61
Check "Echo Neg now", e.Neg, 15
Check "Echo Pos now", e.Pos, 24
Check "Echo switches now", e.AC1 & e.DC1 & e.AC2 & e.DC2 & e.SP3 & e.DC3, "010001"
Check "Echo SendFaults", e.SendFaults("4A05,4B12"), 61
Check "Echo SendFaults, malformed last item", e.SendFaults("4A05,4B1"), 65
Check "Echo SetStudentControl", e.SetStudentControl("true", "false"), 61
Check "Echo SetWarning", e.SetWarning("False"), 61
Check "Echo SetAux", e.SetAux(5), 61
Check "Echo SetBncs", e.SetBncs(1, 2), 61
Check "Echo SetSpeaker", e.SetSpeaker(300), 61
Check "Echo StartCai", e.StartCai, 61
Check "Echo EndCai", e.EndCai, 61

' PLC trainer.
Dim p : Set p = WScript.CreateObject("OrvoTrainer.Plc.1")
p.Address = 32
p.Port = 32
Check "Plc Address", p.Address, 32
Check "Plc Port", p.Port, 32
Check "Plc SetAddress", p.SetAddress(5), 61
Check "Plc Address unchanged", p.Address, 32
Check "Plc HuntPort", p.HuntPort, 61
Check "Plc CheckComm", p.CheckComm, 61
Check "Plc main block", p.DC & p.Monitor & p.Selector, "103"
Check "Plc external block", p.Voltage & "/" & p.PC1 & p.PC2, "12/10"
Check "Plc ReadMain", p.ReadMain, 61
Check "Plc ReadExternal", p.ReadExternal, 61
Check "Plc SetSelector(9)", p.SetSelector(9), 61
Check "Plc SetProcess(4660)", p.SetProcess(4660), 61
Check "Plc ClearFaults", p.ClearFaults, 61
Check "Plc StartCai", p.StartCai, 61
Check "Plc EndCai", p.EndCai, 61
Check "Plc SendFaults", p.SendFaults("F1,E12"), 61
Check "Plc SendFaults, malformed last item", p.SendFaults("F2,F123"), 65
' Last: a call that sends nothing leaves the port briefly unopenable under
' Wine with the simulated units.
Check "Plc SendFaults, empty list", p.SendFaults(""), 61

' Fault unit.
Dim f : Set f = WScript.CreateObject("OrvoTrainer.Fault.1")
f.Address = 33
f.Port = 33
Check "Fault Address", f.Address, 33
Check "Fault Port", f.Port, 33
Check "Fault SetAddress", f.SetAddress(1), 61
Check "Fault HuntPort", f.HuntPort, 61
Check "Fault CheckComm", f.CheckComm, 61
Check "Fault ClearFaults", f.ClearFaults, 61
Check "Fault StartCai", f.StartCai, 61
Check "Fault EndCai", f.EndCai, 61
Check "Fault SendFaults", f.SendFaults("F7,E12"), 61
Check "Fault SendFaults, malformed", f.SendFaults("X"), 65

If failures > 0 Then WScript.Quit 1
WScript.Echo "lesson passed"
