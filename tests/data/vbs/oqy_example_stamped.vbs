' Program: Cubemill
' Author: Cubemill Team
' Copyright: The Cubemill Team (MIT License)
' Version: 1.2.00
' OQY Origin: C:\Cubes\sales.oqy
' Date: 07.03.2024
On Error Resume Next
'Error collection string
Dim sErrors

'overall Result
Dim bResult
   bResult = true

'aktueller Pfad - wird für die DSN Datei un den Cube genutzt
Dim sCurPath
   sCurPath = CreateObject("Scripting.FileSystemObject").GetAbsolutePathName(".")

'aktueller Datum - wird für die CUB Datei genutzt
Dim sCurTS
   sCurTS = Year(now) & "-" & padZero(Month(now),2) & "-" & padZero(Day(now),2) & "_" & padZero(Hour(now),2) & "-" & padZero(Minute(now),2) & "-" & padZero(Second(now),2)

Dim ConnCubLocation
ConnCubLocation = " LOCATION= ""C:\Cubes\" & sCurTS & "_sales.cub"";"

Dim ConnDSN
ConnDSN = "SOURCE_DSN= ""DSN=Salesbase;DBQ=C:\Data\sales.mdb;UID=reader"";"

Dim ConnCreateCube
ConnCreateCube = "CreateCube= CREATE CUBE [OCWCube] ( " & _ 
	"	DIMENSION [Region] ," & _ 
	"			LEVEL [Region] ) ;"

Dim ConnInsertCube
ConnInsertCube = "InsertInto= INSERT INTO OCWCube (" & _ 
	"	  [Region].[Region] ) "

Dim ConnSelectCube
ConnSelectCube = "SELECT " & _ 
		" region" & _ 
	" FROM " & _ 
	"orders"

Dim Connection
Set Connection = CreateObject("ADODB.Connection")
Connection.Provider = "msolap" 
 Connection.ConnectionString = _ 
	ConnCubLocation & _ 
	ConnDSN & _ 
	ConnCreateCube & _ 
	ConnInsertCube & " " & ConnSelectCube
Connection.Open
If Err.Number <> 0 Then
   sErrors = LogError(Err, sErrors)
   Err.Clear
   bResult = false
else
   Connection.Close
   Set Connection = Nothing
End If
On Error Goto 0 ' Stop looking for errors

if bResult then
   sErrors = "Waiting 2 Seconds" & vbCrLF + "Everything is well done."
   sTitel = "Creation Info"
   iSek = 2 'Anzeigedauer in Sekunden
   Set WshShell = WScript.CreateObject("WScript.Shell")
   WshShell.Popup sErrors, iSek, sTitel, vbInformation
   WScript.Quit (0)
else
   sErrors = "Waiting 5 Seconds" & vbCrLF + "Errors: " & sErrors
   sTitel = "Creation Error"
   iSek = 5 'Anzeigedauer in Sekunden
   Set WshShell = WScript.CreateObject("WScript.Shell")
   WshShell.Popup sErrors, iSek, sTitel, vbCritical
   WScript.Quit (56)
end if

Function LogError(Details, sErrors)
   Dim fs : Set fs = CreateObject("Scripting.FileSystemObject")
   Dim logFile : Set logFile = fs.OpenTextFile(sCurPath & "\cube_errors.log", 8, True)
   logFile.WriteLine(Now() & ": Error: " & Details.Number & " Details: " & Details.Description)
   LogError = sErrors & vbCrLf & ": Error: " & Details.Number & " Details: " & Details.Description
End function

'Function to format the Date/Time Value
Function padZero(n, totalDigits)
   If totalDigits > len(n) then
       padZero = String(totalDigits-len(n),"0") & n
   Else
       padZero = n
   End If
End Function
