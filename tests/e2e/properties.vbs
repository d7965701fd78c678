' The service object as a scripting client sees it: created by ProgID, every call late-bound.
Option Explicit
Dim drawer, failures
failures = 0

Sub Check(what, actual, expected)
    If actual = expected Then
        WScript.Echo "ok   " & what & " = " & actual
    Else
        WScript.Echo "FAIL " & what & " = " & actual & ", expected " & expected
        failures = failures + 1
    End If
End Sub

Set drawer = CreateObject("OPOS.CashDrawer.Bramwick.1")
Check "DeviceName", drawer.getpropertystring(1000003), "Velmora Cash Drawer"

drawer.SetPropertyNumber 11, 3
Check "ResultCode after BinaryConversion 3", drawer.GetPropertyNumber(6), 106
drawer.SetPropertyNumber 11, 2
Check "BinaryConversion", drawer.GetPropertyNumber(11), 2

' By-reference arguments arrive as VT_BYREF|VT_VARIANT from a script.
Dim data, text
data = 7
text = "abc"
Check "DirectIO on a closed service", drawer.DirectIO(111, data, text), 101
Check "DirectIO data unchanged", data, 7

If failures = 0 Then
    WScript.Echo "VBSCRIPT-PASS"
    WScript.Quit 0
End If
WScript.Echo "VBSCRIPT-FAIL " & failures
WScript.Quit 1
