# Fails when EXE imports a function that Windows 98 or Windows XP does not export,
# since the loader then refuses to start the program at all there. The list holds
# what toolchains and runtimes are known to pull in; it grows when one slips through.
# Usage: cmake -DOBJDUMP=... -DEXE=... -P CheckImports.cmake
set(NOT_ON_9X_OR_XP
  # introduced with Windows XP, XP SP2, Server 2003 or Vista
  AddVectoredExceptionHandler RemoveVectoredExceptionHandler GetTickCount64
  GetModuleHandleExA GetModuleHandleExW GetNativeSystemInfo IsWow64Process
  EncodePointer DecodePointer HeapSetInformation FlsAlloc FlsFree FlsGetValue FlsSetValue
  InitOnceExecuteOnce InitializeConditionVariable SleepConditionVariableCS
  WakeConditionVariable WakeAllConditionVariable InitializeSRWLock AcquireSRWLockExclusive
  ReleaseSRWLockExclusive AcquireSRWLockShared ReleaseSRWLockShared CreateSymbolicLinkA
  GetFileInformationByHandleEx SetFileInformationByHandle
  # the NT family only
  TryEnterCriticalSection GetHandleInformation SetHandleInformation GetProcessAffinityMask
  SetProcessAffinityMask SwitchToThread SignalObjectAndWait FindFirstFileExA FindFirstFileExW
  GetFileSizeEx SetFilePointerEx GetFileAttributesExW MoveFileWithProgressA ReplaceFileA
  CreateHardLinkA
  # bound at run time by the folder-rights step, which runs on the NT family only
  GetSecurityInfo SetSecurityInfo SetEntriesInAclA)

execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cannot read the imports of ${EXE}")
endif()
set(found)
set(checked 0)
foreach(name ${NOT_ON_9X_OR_XP})
  math(EXPR checked "${checked} + 1")
  if(dump MATCHES "[ \t]${name}\n")
    list(APPEND found ${name})
  endif()
endforeach()
list(LENGTH found failed)
math(EXPR passed "${checked} - ${failed}")
message("${passed} passed, ${failed} failed")
if(found)
  message(FATAL_ERROR "${EXE} imports functions that Windows 9x or XP lacks: ${found}")
endif()
