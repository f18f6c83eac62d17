; Installer of the upload client, built by scripts/build-installer.sh, which
; passes (with -D) STAGE, the folder holding exactly the files to install,
; FILES and UNFILES, the File and Delete lines generated from it, ICON and
; OUTFILE, and puts the build's generated folder (zavixproduct.nsh, the
; product's name and version) on the include path.
;
; It installs per user, under the local application data folder, so that the
; files the program keeps next to its executable (the users/ folders, the
; remembered-users file "info", the log) stay writable without administrator
; rights. An installation over an earlier one first removes the earlier
; program files with that version's own uninstaller, keeping those files.

Unicode true
Target amd64-unicode
ManifestDPIAware true

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "zavixproduct.nsh"

!define DISPLAY_NAME "Zavix上传客户端"
!define EXE "ZavixUploadClient.exe"
!define INSTALL_KEY "Software\${PRODUCT_NAME}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT_NAME}"
; The program's single-instance mutex.
!define INSTANCE_MUTEX "fortest_abc123"

Name "${DISPLAY_NAME}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\${PRODUCT_NAME}"
InstallDirRegKey HKCU "${INSTALL_KEY}" "InstallDir"
SetCompressor /SOLID lzma
BrandingText "${DISPLAY_NAME} ${PRODUCT_VERSION}"

; No copyright text of its own: the version resource goes without one.
!pragma warning disable 9100
VIProductVersion "${PRODUCT_VERSION_NUMBERS}"
VIFileVersion "${PRODUCT_VERSION_NUMBERS}"
VIAddVersionKey /LANG=2052 "ProductName" "${PRODUCT_NAME}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${PRODUCT_VERSION}"
VIAddVersionKey /LANG=2052 "FileVersion" "${PRODUCT_FILE_VERSION}"
VIAddVersionKey /LANG=2052 "FileDescription" "${DISPLAY_NAME} 安装程序"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

; Waits up to 15 seconds for a running program to end (the update check
; starts the installer and then ends the program). In the end the user may
; close it and retry; a silent run gives up with exit code 2.
!macro WAIT_FOR_PROGRAM un
Function ${un}waitForProgram
  StrCpy $R1 0
  ${Do}
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${INSTANCE_MUTEX}") p .R0'
    ${If} $R0 P= 0
      Return
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p R0)'
    IntOp $R1 $R1 + 1
    ${If} $R1 >= 150
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${DISPLAY_NAME} 正在运行，请先关闭它。" /SD IDCANCEL IDRETRY retry
      SetErrorLevel 2
      Quit
      retry:
      StrCpy $R1 0
    ${EndIf}
    Sleep 100
  ${Loop}
FunctionEnd
!macroend
!insertmacro WAIT_FOR_PROGRAM ""
!insertmacro WAIT_FOR_PROGRAM "un."

Function .onInit
  Call waitForProgram
FunctionEnd

Section "Program"
  ; An earlier installation: its own uninstaller removes its program files
  ; in place (and keeps the users' files), then the new ones are copied.
  ${If} ${FileExists} "$INSTDIR\uninstall.exe"
    ExecWait '"$INSTDIR\uninstall.exe" /S /UPGRADE _?=$INSTDIR'
  ${EndIf}
  SetOutPath "$INSTDIR"
  !include "${FILES}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortCut "$SMPROGRAMS\${DISPLAY_NAME}.lnk" "$INSTDIR\${EXE}"

  WriteRegStr HKCU "${INSTALL_KEY}" "InstallDir" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${DISPLAY_NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${PRODUCT_VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; /UPGRADE (given by a newer installer): only the program files go.
; Otherwise the log, the shortcut and the registry entries go as well, and
; the users' files (the users/ folders, "info") only when the user agrees;
; a silent uninstall keeps them.
Section "Uninstall"
  Call un.waitForProgram
  ClearErrors
  ${GetOptions} $CMDLINE "/UPGRADE" $R0
  ${If} ${Errors}
    StrCpy $R9 "remove"
  ${Else}
    StrCpy $R9 "upgrade"
  ${EndIf}

  !include "${UNFILES}"

  ${If} $R9 == "remove"
    Delete "$INSTDIR\uninstall.exe"
    RMDir /r "$INSTDIR\log"
    Delete "$INSTDIR\NetSpeedTest.mp4"
    MessageBox MB_YESNO|MB_ICONQUESTION "是否同时删除账号记录和上传记录？" /SD IDNO IDNO keepData
      RMDir /r "$INSTDIR\users"
      Delete "$INSTDIR\info"
    keepData:
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\${DISPLAY_NAME}.lnk"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    DeleteRegKey HKCU "${INSTALL_KEY}"
  ${EndIf}
SectionEnd
