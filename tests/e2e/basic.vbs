' A first lesson: find the console, read its supply voltages and switches,
' turn a switch on, and see what an absent console answers.
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

Dim console : Set console = WScript.CreateObject("OrvoTrainer.Echo.1")
' The status comes back as the method's value.
Check "SetAddress(31)", console.SetAddress(31), 61
Check "Port after the search", console.Port, 31
Check "CheckComm", console.CheckComm, 61
' The readings are properties, filled by the reading just made.
Check "Neg", console.Neg, 15
Check "Pos", console.Pos, 24
Check "AC1", console.AC1, 1
Check "DC1", console.DC1, 0
' VBScript's True is -1: it turns the switch on and touches nothing else.
Check "ChangeSwitch(""DC1"", True)", console.ChangeSwitch("DC1", True), 61
Check "CheckComm again", console.CheckComm, 61
Check "DC1 now", console.DC1, 1
Check "AC1 still", console.AC1, 1

' No console behind COM36: a status, not a script error.
Dim absent : Set absent = WScript.CreateObject("OrvoTrainer.Echo.1")
absent.Port = 36
Check "CheckComm without a console", absent.CheckComm, 60

If failures > 0 Then WScript.Quit 1
WScript.Echo "lesson passed"
