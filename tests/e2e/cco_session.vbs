' An application's session through the public OPOS control object (OPOS.CashDrawer), which
' loads our service by the device's ProgID: open, claim, enable, open the drawer, close.
' usage: cscript cco_session.vbs DEVICE
Option Explicit
Dim drawer, failures, device, r
failures = 0
device = WScript.Arguments(0)

Sub Check(what, actual, expected)
    If actual = expected Then
        WScript.Echo "ok   " & what & " = " & actual
    Else
        WScript.Echo "FAIL " & what & " = " & actual & ", expected " & expected
        failures = failures + 1
    End If
End Sub

Set drawer = CreateObject("OPOS.CashDrawer")
r = drawer.Open(device)
Check "Open", r, 0
If r <> 0 Then
    WScript.Echo "OpenResult " & drawer.OpenResult
Else
    Check "ClaimDevice", drawer.ClaimDevice(1000), 0
    drawer.DeviceEnabled = True
    Check "OpenDrawer", drawer.OpenDrawer(), 0
    Check "DrawerOpened after", drawer.DrawerOpened, True
    Check "ReleaseDevice", drawer.ReleaseDevice(), 0
    Check "Close", drawer.Close(), 0
End If

If failures = 0 Then
    WScript.Echo "VBSCRIPT-PASS"
    WScript.Quit 0
End If
WScript.Echo "VBSCRIPT-FAIL " & failures
WScript.Quit 1
