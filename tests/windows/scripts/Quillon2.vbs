' IQuillon2's properties as a page script uses them, in VBScript: read at their defaults, set
' by name and read back, an ignored number, the refused file ID and the segment outside its set
' with their descriptions, and the symbol they make measured and drawn. (Quillon.vbs, written
' for IQuillon alone, runs unchanged beside it.) Ends with its tally and WScript.Quit: 0 only
' when every check passed.
Option Explicit

Dim passed, failed
passed = 0
failed = 0

Sub Check(ok, what)
    If ok Then
        passed = passed + 1
    Else
        failed = failed + 1
        WScript.Echo "FAILED: " & what
    End If
End Sub

Dim q, r, c
Set q = CreateObject("TarvexQuillon.Quillon")
Check q.Eci = 0, "Eci starts at 0"
Check q.OptimizeCompaction = False, "OptimizeCompaction starts False"
Check q.AutoErrorCorrection = False, "AutoErrorCorrection starts False"
Check q.MacroSegmentIndex = -1, "MacroSegmentIndex starts at -1"
Check q.MacroSegmentCount = 0, "MacroSegmentCount starts at 0"
Check q.MacroFileId = "000", "MacroFileId starts at 000: " & q.MacroFileId

' The defaults measure 4 rows of 3 columns; the ECI designator's two codewords take a fifth.
q.Eci = 26
q.GetActualRC r, c
Check r = 5 And c = 3, "Eci 26 adds a row: " & r & " " & c
q.Eci = 811800
Check q.Eci = 26, "Eci beyond 811799 is ignored: " & q.Eci

q.Data = String(40, "7")
q.OptimizeCompaction = True
q.AutoErrorCorrection = True
q.MacroSegmentIndex = 1
q.MacroSegmentCount = 2
q.MacroFileId = "017053"
Check q.OptimizeCompaction = True, "OptimizeCompaction reads back True"
Check q.AutoErrorCorrection = True, "AutoErrorCorrection reads back True"
Check q.MacroSegmentIndex = 1, "MacroSegmentIndex reads back 1"
Check q.MacroSegmentCount = 2, "MacroSegmentCount reads back 2"
Check q.MacroFileId = "017053", "MacroFileId reads back 017053: " & q.MacroFileId
Dim png
png = q.PNGImage
Check VarType(png) = vbArray + vbByte, "PNGImage is an array of bytes, VarType " & VarType(png)
q.GetActualRC r, c
Check r > 5 And c = 3, "the options' codewords are measured: " & r & " " & c

On Error Resume Next
q.MacroFileId = "12a"
Check Err.Number = &H80070057, "MacroFileId 12a: E_INVALIDARG, not " & Hex(Err.Number)
Check Err.Source = "TarvexQuillon.Quillon", "the error's source: " & Err.Source
Check InStr(Err.Description, "groups of three") > 0, "the error's description: " & Err.Description
Err.Clear
Check q.MacroFileId = "017053", "the refused file ID leaves the last: " & q.MacroFileId
q.MacroSegmentIndex = 2
png = q.PNGImage
Check Err.Number = &H80070057, "a segment outside its set: E_INVALIDARG, not " & Hex(Err.Number)
Check InStr(Err.Description, "MacroSegmentCount") > 0, "its description: " & Err.Description
Err.Clear
On Error GoTo 0

WScript.Echo passed & " passed, " & failed & " failed"
WScript.Quit failed
