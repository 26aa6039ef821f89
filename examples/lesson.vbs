' A whole lesson against the three trainer units: the console, the fault
' unit and the PLC trainer. Every call returns a status: 61 when the unit
' answered, 60 when it did not, 65 when a fault item was malformed.
'
' On Windows, write CreateObject("OrvoTrainer.Echo") as usual. Under Wine
' (where this lesson is tried without hardware) two things differ: Wine does
' not follow the CurVer link of "OrvoTrainer.Echo", so the versioned names
' ("OrvoTrainer.Echo.1") are used, and VBScript's own CreateObject refuses
' objects that take a site when cscript offers none, so WScript.CreateObject
' makes them instead.
Option Explicit

Dim problems : problems = 0

Function Said(status)
  Select Case status
    Case 61 : Said = "ok"
    Case 60 : Said = "no answer"
    Case 65 : Said = "malformed fault item"
    Case Else : Said = "status " & status
  End Select
End Function

' Prints one step and remembers whether it worked.
Sub Step(what, status)
  WScript.Echo Left(what & String(44, " "), 44) & Said(status)
  If status <> 61 Then problems = problems + 1
End Sub

' A hunt that found nothing leaves Port at 0, which is also the USB link's
' number: only a hunt that succeeded says where the unit is.
Function FoundOn(status, place)
  If status = 61 Then FoundOn = "found on " & place Else FoundOn = "not found"
End Function

Function Volts(n)
  Volts = n & " V"
End Function

Function OnOff(bit)
  If bit = 1 Then OnOff = "on" Else OnOff = "off"
End Function

' --- The trainer console -------------------------------------------------
Dim console : Set console = WScript.CreateObject("OrvoTrainer.Echo.1")
WScript.Echo "The trainer console"
Dim found : found = console.SetAddress(5)
Step "  find the console at address 5", found
WScript.Echo "    " & FoundOn(found, IIf(console.Port = 0, "USB", "COM" & console.Port))
Step "  supplies -12 V and +15 V", console.SetVoltages(-12, 15)
Step "  switches AC1 and DC3 on", console.SetSwitches("AC1,DC3")
Step "  read the status back", console.CheckComm
WScript.Echo "    supplies: -" & Volts(console.Neg) & " and +" & Volts(console.Pos)
WScript.Echo "    AC1 " & OnOff(console.AC1) & ", DC1 " & OnOff(console.DC1) & _
             ", AC2 " & OnOff(console.AC2) & ", DC2 " & OnOff(console.DC2) & _
             ", SP3 " & OnOff(console.SP3) & ", DC3 " & OnOff(console.DC3)
Step "  read the model", console.ReadModel
WScript.Echo "    model " & console.Model & "." & console.SubModel & ", version " & console.Version
Step "  read meter channel 3", console.ReadChannel(0, 3)
WScript.Echo "    channel 3 reads " & console.Channel
Step "  keyboard for the student, faults not", console.SetStudentControl("true", "false")
Step "  warning light on", console.SetWarning("true")

' --- The fault-insertion unit ---------------------------------------------
Dim faults : Set faults = WScript.CreateObject("OrvoTrainer.Fault.1")
WScript.Echo "The fault unit"
faults.Address = 9
found = faults.HuntPort
Step "  hunt for the fault unit", found
WScript.Echo "    " & FoundOn(found, "COM" & faults.Port)
Step "  insert faults 3 and 7", faults.SendFaults("F3,F7")
Step "  take fault 7 out again", faults.SendFaults("E7")

' --- The PLC trainer ------------------------------------------------------
Dim plc : Set plc = WScript.CreateObject("OrvoTrainer.Plc.1")
WScript.Echo "The PLC trainer"
plc.Address = 3
found = plc.HuntPort
Step "  hunt for the PLC trainer", found
WScript.Echo "    " & FoundOn(found, "COM" & plc.Port)
Step "  read the main block", plc.ReadMain
WScript.Echo "    DC " & plc.DC & ", monitor " & plc.Monitor & ", selector " & plc.Selector
Step "  read the external block", plc.ReadExternal
WScript.Echo "    supply " & Volts(plc.Voltage) & ", PC1 " & plc.PC1 & ", PC2 " & plc.PC2
Step "  clock in the process value 1234", plc.SetProcess(1234)
' The transfer leaves the selector lines low, so the selector comes after it.
Step "  selector lines to 0101", plc.SetSelector(5)

If problems = 0 Then
  WScript.Echo "lesson passed"
Else
  WScript.Echo "lesson failed: " & problems & " step(s) got no answer"
  WScript.Quit 1
End If

Function IIf(condition, yes, no)
  If condition Then IIf = yes Else IIf = no
End Function
