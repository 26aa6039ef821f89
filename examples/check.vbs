' Can this script host create the OrvoTrainer objects, and how? Tries each
' class by its plain and its versioned name, with VBScript's CreateObject and
' with WScript.CreateObject, prints what each attempt said, then a verdict.
' Needs no hardware: creating an object opens no port.
'
'   cscript //nologo check.vbs
'
' Run it with the script host of the bitness to check (see install.md): a
' 64-bit host finds only the 64-bit registration, a 32-bit host only the
' 32-bit one. Under Wine, cscript prints nothing and exits 0 when a script
' cannot create an object, so this is how to find out why a lesson printed
' nothing there.
Option Explicit

Dim classes : classes = Array("Echo", "Plc", "Fault")
Dim ways : ways = Array("CreateObject", "WScript.CreateObject")
Dim made : made = 0
' How many classes each way made, by versioned name (0 or 1) and way.
Dim worked(1, 1)
Dim i, j, k, progId, obj, said

On Error Resume Next
For i = 0 To UBound(classes)
  For j = 0 To 1
    progId = "OrvoTrainer." & classes(i)
    If j = 1 Then progId = progId & ".1"
    For k = 0 To 1
      Err.Clear
      Set obj = Nothing
      If k = 0 Then
        Set obj = CreateObject(progId)
      Else
        Set obj = WScript.CreateObject(progId)
      End If
      If Err.Number <> 0 Then
        said = "error 0x" & Hex(Err.Number) & ": " & Err.Description
      ElseIf obj Is Nothing Then
        said = "no object"
      Else
        said = "ok"
        made = made + 1
        worked(j, k) = worked(j, k) + 1
      End If
      WScript.Echo Left(ways(k) & "(""" & progId & """)" & String(46, " "), 46) & said
    Next
  Next
Next
Set obj = Nothing
On Error GoTo 0

Dim use : use = ""
For j = 1 To 0 Step -1
  For k = 1 To 0 Step -1
    If worked(j, k) = 3 And use = "" Then
      use = ways(k) & "(""OrvoTrainer.Echo"
      If j = 1 Then use = use & ".1"
      use = use & """)"
    End If
  Next
Next

If made = 12 Then
  WScript.Echo "verdict: OrvoTrainer is registered and loads; every way of creating it works"
ElseIf use <> "" Then
  WScript.Echo "verdict: OrvoTrainer is registered and loads; create its objects as " & use & _
               ", and Plc and Fault likewise (under Wine the other ways fail)"
Else
  WScript.Echo "verdict: FAILED, no way creates all three classes. Register the DLL that" & _
               " matches this host's bitness, for the machine (regsvr32 without /n /i:user:" & _
               " Wine ignores per-user registrations)"
  WScript.Quit 1
End If
