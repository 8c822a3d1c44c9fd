; Installer for the Windows programs, configured by cmake/windows_package.cmake.
; Silent use: setup.exe /S [/D=FOLDER]; uninstall.exe /S. A refused silent run exits 2 while a
; program runs, 3 for a folder setup will not take.
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

@M4410_NSIS_HAS_UPDATER@
!define PRODUCT "Marlovine Updater"
!define VERSION "@PROJECT_VERSION@"
!define STAGE "@M4410_STAGE_DIR@"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\MarlovineUpdater"
!define MENU "$SMPROGRAMS\${PRODUCT}"
; The port driver's device, as the programs open it.
!define DRIVER_DEVICE "\\.\WINDRVR"
; The window program's settings file: its name with ".INI", in the Windows folder.
!define SETTINGS_FILE "$WINDIR\marlovine-updater.INI"

Name "${PRODUCT}"
OutFile "@M4410_INSTALLER@"
InstallDir "$PROGRAMFILES\${PRODUCT}"
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey "LegalCopyright" "Marlovine 4410 updater team"

!include "MUI2.nsh"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Files in use cannot be replaced or removed, and a run cut off by that would leave a box
; half updated: refuse while either program runs, with a failing exit code when silent.
; Windows locks a running program's file: nobody, whatever their rights, may open it for
; writing. So setup and the uninstaller ask the very files they would replace or remove: they
; see a copy started by any user in any session, and no name that any user could take first
; makes them refuse. A missing file is not running; any other failure counts as in use.
!macro RefuseIfRunning FILE WHAT
  ; GENERIC_WRITE, no sharing, OPEN_EXISTING: nothing is written.
  System::Call 'kernel32::CreateFileW(w "${FILE}", i 0x40000000, i 0, p 0, i 3, i 0, p 0) i .r0 ?e'
  Pop $1
  ${If} $0 <> -1
    System::Call 'kernel32::CloseHandle(i r0)'
  ${ElseIf} $1 <> 2  ; ERROR_FILE_NOT_FOUND
  ${AndIf} $1 <> 3   ; ERROR_PATH_NOT_FOUND
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} or m4410 is running from ${FILE}. Close it, then run the ${WHAT} again." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
!macroend
!macro RefuseWhileRunning WHAT
!ifdef HAS_UPDATER
  !insertmacro RefuseIfRunning "$INSTDIR\marlovine-updater.exe" "${WHAT}"
!endif
  !insertmacro RefuseIfRunning "$INSTDIR\m4410.exe" "${WHAT}"
!macroend

; A folder that is already there may be another user's: any user may make folders at the root
; of C:, stays owner of what they made, and so may rewrite its permissions and replace
; uninstall.exe, which Windows runs elevated; a file replaced in place keeps its owner too.
; Setup takes a folder it makes itself, or one that the administrators (or SYSTEM, or the
; system's installer) already own with everything in it, and never a link to elsewhere.
; Refusing is chosen over taking the folder over: that would mean walking, elevated, through
; whatever another user left there, links included.
Function OwnedByAdministrators  ; PATH -> 1 or 0
  Exch $R0
  Push $R1
  Push $R2
  Push $R3
  Push $R4
  StrCpy $R4 0
  ; SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION
  System::Call 'advapi32::GetNamedSecurityInfoW(w R0, i 1, i 1, *p .R1, p 0, p 0, p 0, *p .R2) i .R3'
  ${If} $R3 = 0
    System::Call 'advapi32::ConvertSidToStringSidW(p R1, *p .R3) i .R0'
    ${If} $R0 <> 0
      System::Call 'kernel32::lstrcpynW(w .R0, p R3, i ${NSIS_MAX_STRLEN})'
      System::Call 'kernel32::LocalFree(p R3)'
      ${If} $R0 == "S-1-5-32-544"
      ${OrIf} $R0 == "S-1-5-18"
      ${OrIf} $R0 == "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"
        StrCpy $R4 1
      ${EndIf}
    ${EndIf}
    System::Call 'kernel32::LocalFree(p R2)'
  ${EndIf}
  StrCpy $R0 $R4
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
  Exch $R0
FunctionEnd

!macro RefuseForeignFolder
  System::Call 'kernel32::GetFileAttributesW(w "$INSTDIR") i .r0'
  ${If} $0 <> -1
    StrCpy $2 "$INSTDIR"
    IntOp $1 $0 & 0x400  ; FILE_ATTRIBUTE_REPARSE_POINT
    ${If} $1 = 0
      Push "$INSTDIR"
      Call OwnedByAdministrators
      Pop $1
      ${If} $1 = 1
        StrCpy $2 ""
        FindFirst $3 $4 "$INSTDIR\*"
        ${DoWhile} $4 != ""
          ${If} $4 != "."
          ${AndIf} $4 != ".."
            Push "$INSTDIR\$4"
            Call OwnedByAdministrators
            Pop $1
            ${If} $1 = 0
              StrCpy $2 "$INSTDIR\$4"
              ${Break}
            ${EndIf}
          ${EndIf}
          FindNext $3 $4
        ${Loop}
        FindClose $3
      ${EndIf}
    ${EndIf}
    ${If} $2 != ""
      MessageBox MB_OK|MB_ICONSTOP "$2 is not the administrators' own: another user could change what setup puts there. Choose another folder, or have that one removed first." /SD IDOK
      SetErrorLevel 3
      Abort
    ${EndIf}
  ${EndIf}
!macroend

; The folder may be anywhere the administrator chose, where it would keep its parent's
; permissions: ordinary users could then replace uninstall.exe, which Windows runs elevated.
; The administrators own it; they and SYSTEM alone may write it, users may read and run;
; nothing is inherited.
!define INSTDIR_SDDL "O:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)"
!macro ProtectInstallFolder
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "${INSTDIR_SDDL}", i 1, *p .r1, p 0) i .r0'
  ${If} $0 <> 0
    System::Call 'advapi32::GetSecurityDescriptorDacl(p r1, *i .r2, *p .r3, *i .r4) i .r0'
    ${If} $0 <> 0
      System::Call 'advapi32::GetSecurityDescriptorOwner(p r1, *p .r5, *i .r4) i .r0'
    ${EndIf}
    ${If} $0 <> 0
      ; SE_FILE_OBJECT; OWNER_ and DACL_SECURITY_INFORMATION with PROTECTED_DACL_SECURITY_INFORMATION
      System::Call 'advapi32::SetNamedSecurityInfoW(w "$INSTDIR", i 1, i 0x80000005, p r5, p 0, p r3, p 0) i .r0'
      ${If} $0 = 0
        StrCpy $0 1
      ${Else}
        StrCpy $0 0
      ${EndIf}
    ${EndIf}
    System::Call 'kernel32::LocalFree(p r1)'
  ${EndIf}
  ${If} $0 = 0
    RMDir "$INSTDIR"
    MessageBox MB_OK|MB_ICONSTOP "Setup cannot restrict $INSTDIR to administrators. Choose another folder." /SD IDOK
    SetErrorLevel 3
    Abort
  ${EndIf}
!macroend

Function .onInit
  SetShellVarContext all
  !insertmacro RefuseWhileRunning "setup"
FunctionEnd

Section "Install"
  ; Again here: a program may have been started while the pages were shown.
  !insertmacro RefuseWhileRunning "setup"
  !insertmacro RefuseForeignFolder
  SetOutPath "$INSTDIR"
  !insertmacro ProtectInstallFolder
!ifdef HAS_UPDATER
  File "${STAGE}\marlovine-updater.exe"
!endif
  File "${STAGE}\m4410.exe"
  ; Beside the window program, which opens its help from its own folder.
  File "${STAGE}\Help2QRB.chm"
  File "${STAGE}\README.txt"
  ; The sigrok decoders, for PulseView's decoder folder.
  SetOutPath "$INSTDIR\decoders"
  File /r "${STAGE}\decoders\*.*"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "${MENU}"
!ifdef HAS_UPDATER
  ; The program works in its current folder, where box data lands as "0": started from the
  ; menu, that is the user's own Documents, never the program's folder, which users may not
  ; write. The shortcut is everyone's, so the folder is named by each user's profile; set as
  ; $OUTDIR alone (SetOutPath would make it), it becomes the link's working folder.
  StrCpy $OUTDIR "%USERPROFILE%\Documents"
  CreateShortcut "${MENU}\${PRODUCT}.lnk" "$INSTDIR\marlovine-updater.exe"
  SetOutPath "$INSTDIR"
!endif
  CreateShortcut "${MENU}\${PRODUCT} Help.lnk" "$INSTDIR\Help2QRB.chm"
  CreateShortcut "${MENU}\Uninstall ${PRODUCT}.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "Marlovine 4410 updater team"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
!ifdef HAS_UPDATER
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\marlovine-updater.exe"
!endif
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1

  ; The port driver does not come with the programs: say at once when it cannot be reached,
  ; since every update would stop at "Driver initialized" without it. GENERIC_READ, shared
  ; read and write, OPEN_EXISTING, overlapped: the programs' own open.
  System::Call 'kernel32::CreateFileW(w "${DRIVER_DEVICE}", i 0x80000000, i 3, p 0, i 3, i 0x40000000, p 0) i .r0'
  ${If} $0 = -1
    DetailPrint "The port driver WinDriver cannot be reached."
    MessageBox MB_OK|MB_ICONINFORMATION "The port driver is not installed or not running: ${PRODUCT} cannot reach the parallel port without it, and every update stops at $\"Driver initialized$\".$\r$\n$\r$\nInstall WinDriver, version 412 or later, with its own setup as an administrator (this setup does not include it), or restart the computer if it is installed. $\"m4410 probe$\" checks it; the help's Port access page says more." /SD IDOK
  ${Else}
    System::Call 'kernel32::CloseHandle(i r0)'
    DetailPrint "The port driver can be reached."
  ${EndIf}
SectionEnd

Function un.onInit
  SetShellVarContext all
  !insertmacro RefuseWhileRunning "uninstaller"
FunctionEnd

Section "Uninstall"
  ; Only what setup put there: the folder goes only when nothing else is left in it.
  Delete "$INSTDIR\marlovine-updater.exe"
  Delete "$INSTDIR\m4410.exe"
  Delete "$INSTDIR\Help2QRB.chm"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\decoders\ieee1284\*.py"
  Delete "$INSTDIR\decoders\m4410\*.py"
  RMDir "$INSTDIR\decoders\ieee1284"
  RMDir "$INSTDIR\decoders\m4410"
  RMDir "$INSTDIR\decoders"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  Delete "${MENU}\${PRODUCT}.lnk"
  Delete "${MENU}\${PRODUCT} Help.lnk"
  Delete "${MENU}\Uninstall ${PRODUCT}.lnk"
  RMDir "${MENU}"

  DeleteRegKey HKLM "${UNINST_KEY}"

  ; The settings the window program wrote on Quit go with it; what each run left stays.
  Delete "${SETTINGS_FILE}"
  MessageBox MB_OK|MB_ICONINFORMATION "${PRODUCT} is removed, with its settings file ${SETTINGS_FILE}.$\r$\n$\r$\nKept: each user's update log, %LOCALAPPDATA%\marlovine-updater\updates.log, and the box data files named $\"0$\" in the folders the program ran in (usually Documents). Delete them by hand if they are no longer needed." /SD IDOK
SectionEnd
