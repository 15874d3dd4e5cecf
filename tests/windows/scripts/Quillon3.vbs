' IQuillon3's properties as a page script uses them, in VBScript: read at their defaults, set
' by name and read back, the numbers each ignores, and a symbol drawn with Symbology 1 and
' measured. (Quillon.vbs and Quillon2.vbs, written for IQuillon and IQuillon2, run unchanged
' beside it.) Ends with its tally and WScript.Quit: 0 only when every check passed.
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

Dim q, r, c, w, h, png
Set q = CreateObject("TarvexQuillon.Quillon")
Check q.Symbology = 0, "Symbology starts at 0"
Check q.MicroColumns = 0, "MicroColumns starts at 0"
Check q.MicroRows = 0, "MicroRows starts at 0"

' Set in any order, each read back; a pair is a size or not only when a symbol is made.
q.MicroRows = 8
q.MicroColumns = 2
q.Symbology = 1
Check q.Symbology = 1, "Symbology reads back 1: " & q.Symbology
Check q.MicroColumns = 2, "MicroColumns reads back 2: " & q.MicroColumns
Check q.MicroRows = 8, "MicroRows reads back 8: " & q.MicroRows
Check TypeName(q.MicroRows) = "Long", "MicroRows is a Long: " & TypeName(q.MicroRows)

' Numbers outside their range or list are ignored, as IQuillon's are; text converts as numbers do.
q.Symbology = 2
q.MicroColumns = 5
q.MicroRows = 9
Check q.Symbology = 1, "Symbology 2 is ignored: " & q.Symbology
Check q.MicroColumns = 2, "MicroColumns 5 is ignored: " & q.MicroColumns
Check q.MicroRows = 8, "MicroRows 9, no size's row count, is ignored: " & q.MicroRows
q.MicroRows = "0"
q.MicroColumns = "0"
Check q.MicroRows = 0 And q.MicroColumns = 0, "MicroRows and MicroColumns back to 0 from text"

' A symbol with Symbology 1, its size chosen for the data, drawn and measured.
q.Data = "LOT 4711"
q.Y2XRatio = 2
png = q.PNGImage
Check VarType(png) = vbArray + vbByte, "PNGImage is an array of bytes, VarType " & VarType(png)
q.GetActualRC r, c
q.GetActualSize w, h
Check r > 0 And c > 0 And w > 0 And h > 0, "measured: " & r & " rows, " & c & " columns, " & _
    w & " x " & h
Check h = r * 6, "rows of 2 modules, 6 pixels each: " & h & " for " & r & " rows"

' Back to PDF417: the default picture of IQuillon's own defaults.
q.Symbology = 0
q.Data = "12"
q.Y2XRatio = 3
q.GetActualRC r, c
Check r = 4 And c = 3, "Symbology 0 measures the default symbol: " & r & " " & c

WScript.Echo passed & " passed, " & failed & " failed"
WScript.Quit failed
