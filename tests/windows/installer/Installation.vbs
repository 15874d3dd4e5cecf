' What Windows sees of an installation, for the installer's tests; one line of output each:
'   Installation.vbs products UPGRADECODE   the products installed with that upgrade code,
'                                           each as its product code and version
'   Installation.vbs versions FILE...        each file's version
'   Installation.vbs create PROGID...        the error CreateObject gives for each (0: none)
Option Explicit
Dim args, i, product, installer, files
Set args = WScript.Arguments
Select Case args(0)
    Case "products"
        Set installer = CreateObject("WindowsInstaller.Installer")
        For Each product In installer.RelatedProducts(args(1))
            WScript.Echo product & " " & installer.ProductInfo(product, "VersionString")
        Next
    Case "versions"
        Set files = CreateObject("Scripting.FileSystemObject")
        For i = 1 To args.Count - 1
            WScript.Echo files.GetFileVersion(args(i))
        Next
    Case "create"
        On Error Resume Next
        For i = 1 To args.Count - 1
            Err.Clear
            CreateObject args(i)
            WScript.Echo Err.Number
        Next
End Select
