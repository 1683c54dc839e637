; The LineWatch installer for Windows, built by makensis through the
; `installer` target of a Windows build (cmake/Packaging.cmake), which
; defines VERSION, VERSION_QUAD, ARCH (win64 or win32), PUBLISHER, OUTFILE,
; ICON and the paths of the programs, the README and the docs folder.
;
; It installs LineWatch.exe, recorder.exe and tarvel-decode.exe into
; Program Files, a Start menu entry for LineWatch, the file types .trace
; (opened by LineWatch) and .trace.gz (LineWatch offered for .gz files,
; since Windows picks a file's type by its last extension), and an
; uninstaller registered in Add/Remove Programs that takes away exactly
; what the installer put there. `/S` installs and uninstalls silently.

Unicode true
!include "MUI2.nsh"
!include "x64.nsh"

!define APP "LineWatch"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
!define PROGID "LineWatch.Trace"
!define PROGID_GZ "LineWatch.TraceGz"
!define CLASSES "Software\Classes"

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
!if "${ARCH}" == "win64"
  InstallDir "$PROGRAMFILES64\${APP}"
!else
  InstallDir "$PROGRAMFILES\${APP}"
!endif

VIProductVersion "${VERSION_QUAD}"
VIAddVersionKey /LANG=1033 "ProductName" "${APP}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${APP} ${VERSION} setup (${ARCH})"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PUBLISHER}"

!if "${ICON}" != ""
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!define MUI_FINISHPAGE_RUN "$INSTDIR\LineWatch.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start LineWatch"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Everything is installed for all users: the machine's program folder,
; Start menu and file types. On 64-bit Windows both installers write the
; 64-bit registry view, which the shell (file types) and Add/Remove
; Programs read.
!macro UseMachineViews
  SetShellVarContext all
  !if "${ARCH}" == "win64"
    ${IfNot} ${RunningX64}
      MessageBox MB_ICONSTOP "This is the 64-bit LineWatch; this Windows runs 32-bit programs only." /SD IDOK
      Abort
    ${EndIf}
  !endif
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
!macroend

Function .onInit
  !insertmacro UseMachineViews
FunctionEnd

Function un.onInit
  !insertmacro UseMachineViews
FunctionEnd

Section "LineWatch"
  SetOutPath "$INSTDIR"
  File "/oname=LineWatch.exe" "${LINEWATCH_EXE}"
  File "/oname=recorder.exe" "${RECORDER_EXE}"
  File "/oname=tarvel-decode.exe" "${DECODE_EXE}"
  File "/oname=README.md" "${README}"
  ; The README's links point into docs/: its pages and pictures beside it.
  SetOutPath "$INSTDIR\docs"
  File "${DOCS}/*.md"
  File "${DOCS}/*.png"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\LineWatch.exe" "" "$INSTDIR\LineWatch.exe" 0

  ; .trace files open in LineWatch; for .trace.gz LineWatch is offered
  ; beside whatever program owns .gz.
  WriteRegStr HKLM "${CLASSES}\${PROGID}" "" "Tarvel modem session trace"
  WriteRegStr HKLM "${CLASSES}\${PROGID}\DefaultIcon" "" "$INSTDIR\LineWatch.exe,0"
  WriteRegStr HKLM "${CLASSES}\${PROGID}\shell\open\command" "" '"$INSTDIR\LineWatch.exe" "%1"'
  WriteRegStr HKLM "${CLASSES}\${PROGID_GZ}" "" "Tarvel modem session trace (gzip-compressed)"
  WriteRegStr HKLM "${CLASSES}\${PROGID_GZ}\DefaultIcon" "" "$INSTDIR\LineWatch.exe,0"
  WriteRegStr HKLM "${CLASSES}\${PROGID_GZ}\shell\open\command" "" '"$INSTDIR\LineWatch.exe" "%1"'
  WriteRegStr HKLM "${CLASSES}\.trace" "" "${PROGID}"
  WriteRegStr HKLM "${CLASSES}\.trace" "Content Type" "application/x-tarvel-trace"
  WriteRegStr HKLM "${CLASSES}\.gz\OpenWithProgids" "${PROGID_GZ}" ""
  WriteRegStr HKLM "${CLASSES}\Applications\LineWatch.exe\shell\open\command" "" '"$INSTDIR\LineWatch.exe" "%1"'
  WriteRegStr HKLM "${CLASSES}\Applications\LineWatch.exe\SupportedTypes" ".trace" ""
  WriteRegStr HKLM "${CLASSES}\Applications\LineWatch.exe\SupportedTypes" ".gz" ""

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${APP} ${VERSION} (${ARCH})"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\LineWatch.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize 0 $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; SHCNE_ASSOCCHANGED: Explorer picks up the new file types.
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Section "Uninstall"
  Delete "$INSTDIR\LineWatch.exe"
  Delete "$INSTDIR\recorder.exe"
  Delete "$INSTDIR\tarvel-decode.exe"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\docs\*.md"
  Delete "$INSTDIR\docs\*.png"
  RMDir "$INSTDIR\docs"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"  ; only when empty: files the user left there stay
  Delete "$SMPROGRAMS\${APP}.lnk"

  ; The file types: .trace only while it is still LineWatch's.
  ReadRegStr $0 HKLM "${CLASSES}\.trace" ""
  ${If} $0 == "${PROGID}"
    DeleteRegKey HKLM "${CLASSES}\.trace"
  ${EndIf}
  DeleteRegValue HKLM "${CLASSES}\.gz\OpenWithProgids" "${PROGID_GZ}"
  DeleteRegKey /ifempty HKLM "${CLASSES}\.gz\OpenWithProgids"
  DeleteRegKey /ifempty HKLM "${CLASSES}\.gz"
  DeleteRegKey HKLM "${CLASSES}\${PROGID}"
  DeleteRegKey HKLM "${CLASSES}\${PROGID_GZ}"
  DeleteRegKey HKLM "${CLASSES}\Applications\LineWatch.exe"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd
