; Vorlune Screensaver setup: a 32-bit program that puts the Vorlune.scr of the running Windows
; (64-bit or 32-bit) into the system folder, makes it the user's screensaver and registers an
; uninstaller. Built by scripts/installer.sh, which passes these defines:
;   VERSION       1.0.27           FILE_VERSION  1.0.27.0 (the version record's four numbers)
;   SCR32, SCR64  the win32 and win64 Vorlune.scr; SCR32_KB, SCR64_KB their sizes in KB
;   LICENSE_FILE  the licence shown before installing (CRLF text)
;   ICON          the setup's and the uninstaller's icon
;   OUTFILE       the setup program to write

!macro REQUIRE name
  !ifndef ${name}
    !error "${name} is not defined: build this with scripts/installer.sh"
  !endif
!macroend
!insertmacro REQUIRE VERSION
!insertmacro REQUIRE FILE_VERSION
!insertmacro REQUIRE SCR32
!insertmacro REQUIRE SCR64
!insertmacro REQUIRE SCR32_KB
!insertmacro REQUIRE SCR64_KB
!insertmacro REQUIRE LICENSE_FILE
!insertmacro REQUIRE ICON
!insertmacro REQUIRE OUTFILE

Unicode true
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma
; A file that cannot be written must fail the install, not be skipped silently.
AllowSkipFiles off

Name "Vorlune Screensaver"
OutFile "${OUTFILE}"
BrandingText "Talveno Softworks"

!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh

!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vorlune"
!define DESKTOP_KEY "Control Panel\Desktop"
!define SCR_NAME "Vorlune.scr"
; HKEY_LOCAL_MACHINE; KEY_SET_VALUE | KEY_CREATE_SUB_KEY; KEY_WOW64_64KEY
!define HKLM_HANDLE 0x80000002
!define KEY_WRITE_PROBE 0x0006
!define KEY_WOW64_64KEY 0x0100

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENSE_FILE}"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Open the screensaver settings"
!define MUI_FINISHPAGE_RUN_FUNCTION OpenScreensaverSettings
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${FILE_VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "Vorlune Screensaver"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "Talveno Softworks"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "Vorlune Screensaver setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Copyright (c) 2026 Talveno Softworks, MIT licence"

; Both halves share these; NSIS wants the uninstaller's functions prefixed with "un.".
!macro SHARED_FUNCTIONS un
  ; A 32-bit program on 64-bit Windows would otherwise see SysWOW64 as the system folder and the
  ; 32-bit registry. File-system redirection is a per-thread setting, so every thread that touches
  ; the system folder calls this (the pages and the sections run on different threads).
  Function ${un}NativeView
    ${If} ${RunningX64}
      ${DisableX64FSRedirection}
      SetRegView 64
    ${EndIf}
  FunctionEnd

  ; What a user without administrator rights lacks: writing the system folder and the list of
  ; installed programs. Checked before anything is changed; the probe file is removed again.
  Function ${un}CheckRights
    StrCpy $R0 "$SYSDIR\Vorlune-setup-probe.tmp"
    ClearErrors
    FileOpen $R1 $R0 w
    ${If} ${Errors}
      StrCpy $R2 "cannot write to the system folder ($SYSDIR)"
    ${Else}
      FileClose $R1
      Delete $R0
      StrCpy $R3 ${KEY_WRITE_PROBE}
      ${If} ${RunningX64}
        IntOp $R3 $R3 | ${KEY_WOW64_64KEY}
      ${EndIf}
      System::Call 'advapi32::RegOpenKeyExW(i ${HKLM_HANDLE}, w "Software\Microsoft\Windows\CurrentVersion\Uninstall", i 0, i R3, *i .R4) i .R5'
      ${If} $R5 == 0
        System::Call 'advapi32::RegCloseKey(i R4)'
        Return
      ${EndIf}
      StrCpy $R2 "cannot change the list of installed programs (error $R5)"
    ${EndIf}
    MessageBox MB_OK|MB_ICONSTOP "Vorlune Screensaver setup needs administrator rights: it $R2.$\r$\n$\r$\nNothing was changed. Run it again as an administrator (right-click it and choose Run as administrator)." /SD IDOK
    SetErrorLevel 1
    Quit
  FunctionEnd
!macroend
!insertmacro SHARED_FUNCTIONS ""
!insertmacro SHARED_FUNCTIONS "un."

Section "Vorlune Screensaver" SecSaver
  SectionIn RO
  Call NativeView
  SetOverwrite on
  ${If} ${RunningX64}
    File "/oname=$SYSDIR\${SCR_NAME}" "${SCR64}"
  ${Else}
    File "/oname=$SYSDIR\${SCR_NAME}" "${SCR32}"
  ${EndIf}

  CreateDirectory "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "Vorlune Screensaver"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "Talveno Softworks"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$SYSDIR\${SCR_NAME},0"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  ; Apps & features shows this in KB.
  FileOpen $0 "$SYSDIR\${SCR_NAME}" r
  FileSeek $0 0 END $1
  FileClose $0
  FileOpen $0 "$INSTDIR\uninstall.exe" r
  FileSeek $0 0 END $2
  FileClose $0
  IntOp $1 $1 + $2
  IntOp $1 $1 + 1023
  IntOp $1 $1 / 1024
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $1
SectionEnd

Section "Make Vorlune my screensaver" SecActivate
  Call NativeView
  WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" "$SYSDIR\${SCR_NAME}"
  WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" "1"
  ; The running session caches whether a screensaver is on; this tells it without a new logon.
  ; SPI_SETSCREENSAVEACTIVE, SPIF_UPDATEINIFILE | SPIF_SENDCHANGE
  System::Call 'user32::SystemParametersInfoW(i 17, i 1, i 0, i 3)'
SectionEnd

Function .onInit
  Call NativeView
  ; An earlier install's folder is kept, so an upgrade replaces it in place; /D= wins over both.
  ${If} $INSTDIR == ""
    ReadRegStr $INSTDIR HKLM "${UNINST_KEY}" "InstallLocation"
  ${EndIf}
  ${If} $INSTDIR == ""
    ${If} ${RunningX64}
      StrCpy $INSTDIR "$PROGRAMFILES64\Vorlune"
    ${Else}
      StrCpy $INSTDIR "$PROGRAMFILES\Vorlune"
    ${EndIf}
  ${EndIf}
  ; Only one of the two packed files is installed; NSIS would count both.
  ${If} ${RunningX64}
    SectionSetSize ${SecSaver} ${SCR64_KB}
  ${Else}
    SectionSetSize ${SecSaver} ${SCR32_KB}
  ${EndIf}
  Call CheckRights
FunctionEnd

Function OpenScreensaverSettings
  ; The settings of 64-bit Windows list only what its 64-bit control panel sees.
  Call NativeView
  Exec '"$SYSDIR\control.exe" desk.cpl,,@screensaver'
FunctionEnd

Function un.onInit
  Call un.NativeView
  Call un.CheckRights
FunctionEnd

Section "Uninstall"
  Call un.NativeView
  ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  Delete /REBOOTOK "$SYSDIR\${SCR_NAME}"

  ; The user's choice is reset only while it still names this saver: the installed file, or any
  ; Vorlune.scr that no longer exists. Another saver, or a copy kept elsewhere, stays chosen.
  ${If} $0 != ""
    ${un.GetFileName} $0 $1
    StrCpy $2 0
    ${If} $0 == "$SYSDIR\${SCR_NAME}"
      StrCpy $2 1
    ${ElseIf} $1 == "${SCR_NAME}"
      ${IfNot} ${FileExists} $0
        StrCpy $2 1
      ${EndIf}
    ${EndIf}
    ${If} $2 == 1
      DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
    ${EndIf}
  ${EndIf}

  Delete /REBOOTOK "$INSTDIR\uninstall.exe"
  ; Not /r: a folder the user chose may hold files of their own.
  RMDir /REBOOTOK "$INSTDIR"
  DeleteRegKey HKLM "${UNINST_KEY}"

  ; NSIS runs the uninstaller from a copy in %TEMP% and asks Windows to delete that folder, then
  ; the copy, at the next start; the folder is still full at its turn and stays. Asking again in
  ; the order that works removes both.
  ${If} $EXEDIR != $INSTDIR
    Delete /REBOOTOK "$EXEPATH"
    RMDir /REBOOTOK "$EXEDIR"
  ${EndIf}
SectionEnd
