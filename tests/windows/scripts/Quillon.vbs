' The barcode component and the converter as a page script uses them, in VBScript: created by
' ProgID, every property set, Mode and HandleTilde read back, the measuring methods filling the
' script's own variables, the errors a script sees, and the converter's escapes. Wine's VBScript
' has no ChrW, so the text beyond Windows-1252 is the JScript test's. Ends with its tally and
' WScript.Quit: 0 only when every check passed.
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

Dim q, r, c, w, h
Set q = CreateObject("TarvexQuillon.Quillon")
Check q.Mode = 0, "Mode starts at 0"
Check q.HandleTilde = False, "HandleTilde starts False"

' The defaults measure 4 rows of 3 columns, 363 x 36 pixels, as on Linux.
q.GetActualRC r, c
q.GetActualSize w, h
Check r = 4 And c = 3, "GetActualRC fills r and c: " & r & " " & c
Check w = 363 And h = 36, "GetActualSize fills w and h: " & w & " " & h

q.Data = "Quillon"
q.Mode = 1
q.ErrorCorrectionLevel = 3
q.Columns = 4
q.Rows = 5
q.TruncateSymbol = True
q.Y2XRatio = 2.5
q.Width = 400
q.Height = 300
q.NarrowBarWidth = 0.05
q.BackColor = &HFFFF&
q.BarColor = RGB(128, 0, 0)
q.Orientation = 1
q.BorderStyle = 2
q.HandleTilde = True
Check q.Mode = 1, "Mode reads back 1"
Check q.HandleTilde = True, "HandleTilde reads back True"
q.GetActualRC r, c
Check c = 4 And r >= 5, "4 columns and at least 5 rows: " & r & " " & c

Dim png
png = q.PNGImage
Check VarType(png) = vbArray + vbByte, "PNGImage is an array of bytes, VarType " & VarType(png)

' Values the platform cannot convert never reach the object; its own errors come with their
' description and source.
On Error Resume Next
q.Width = 40000
Check Err.Number = 6, "Width = 40000 is an overflow (6), not " & Err.Number
Err.Clear
q.Width = "abc"
Check Err.Number = 13, "Width = ""abc"" is a type mismatch (13), not " & Err.Number
Err.Clear
q.Colour = 1
Check Err.Number = 438, "an unknown property is error 438, not " & Err.Number
Err.Clear
q.Data = Space(5000)
Check Err.Number = &H80070057, "5000 bytes of Data: E_INVALIDARG, not " & Hex(Err.Number)
Check Err.Source = "TarvexQuillon.Quillon", "the error's source: " & Err.Source
Check InStr(Err.Description, "4999") > 0, "the error's description: " & Err.Description
Err.Clear
q.Data = Replace(Space(4000), " ", Chr(255))
q.ErrorCorrectionLevel = 8
png = q.PNGImage
Check Err.Number = &H80040200, "data that does not fit: &H80040200, not " & Hex(Err.Number)
Check InStr(Err.Description, "does not fit") > 0, "its description: " & Err.Description
Err.Clear
On Error GoTo 0

' The converter: one escape for every UTF-8 byte.
Dim cv
Set cv = CreateObject("TarvexUnicode.Converter")
Check cv.GetUTF8String("") = "", "the empty text"
Check cv.GetUTF8String("A") = "~d065", "ASCII"
Check cv.GetUTF8String(Chr(233)) = "~d195~d169", "Latin e-acute"
Check cv.GetUTF8String(Chr(128)) = "~d226~d130~d172", "the euro sign"

' With HandleTilde on, the escapes put the text's UTF-8 bytes into the symbol: the same symbol
' as Data holding those bytes (C3 A9) as single-byte text.
Dim t, u, r2, c2
Set t = CreateObject("TarvexQuillon.Quillon")
Set u = CreateObject("TarvexQuillon.Quillon")
t.HandleTilde = True
t.Data = cv.GetUTF8String(String(40, Chr(233)))
u.Data = Replace(Space(40), " ", Chr(195) & Chr(169))
t.GetActualRC r, c
u.GetActualRC r2, c2
Check r = r2 And c = c2 And r > 4, "the converted text encodes as its UTF-8 bytes: " & r & " " & r2

WScript.Echo passed & " passed, " & failed & " failed"
WScript.Quit failed
