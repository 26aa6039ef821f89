# Registry, synchronisation, resource and conversion seams of the automation
# server frame. Included from platform/CMakeLists.txt.

# Critical sections, interlocked counters and VarUI4FromStr: Win32 in the
# DLL, the standard library (and a stand-in conversion) on the host.
if(WIN32)
  add_library(orvo_sync STATIC ${CMAKE_CURRENT_LIST_DIR}/win32/Win32Sync.cpp)
  add_library(orvo_variant STATIC ${CMAKE_CURRENT_LIST_DIR}/win32/Win32Variant.cpp)
  target_link_libraries(orvo_variant PUBLIC oleaut32)

  add_library(orvo_win32_registry STATIC
    ${CMAKE_CURRENT_LIST_DIR}/win32/Win32Registry.cpp
    ${CMAKE_CURRENT_LIST_DIR}/win32/Win32Resources.cpp)
  target_link_libraries(orvo_win32_registry PUBLIC orvo_platform_headers advapi32)
else()
  add_library(orvo_sync STATIC ${CMAKE_CURRENT_LIST_DIR}/native/NativeSync.cpp)
  add_library(orvo_variant STATIC ${CMAKE_CURRENT_LIST_DIR}/native/NativeVariant.cpp)
endif()
target_link_libraries(orvo_sync PUBLIC orvo_platform_headers)
target_link_libraries(orvo_variant PUBLIC orvo_platform_headers)

# The registry key handle: one open key, closed when it goes. The registrar
# and the device classes' remembered ports both use it.
add_library(orvo_registry_key STATIC ${CMAKE_CURRENT_LIST_DIR}/RegistryKey.cpp)
target_link_libraries(orvo_registry_key PUBLIC orvo_platform_headers)
