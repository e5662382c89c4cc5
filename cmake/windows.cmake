# Windows build: the installer executable, its resources, and the tests that run under Wine.
set(WIN32_DEFINES UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)
target_compile_definitions(flashdeck_portable PUBLIC ${WIN32_DEFINES})
# Failures are codes, never exceptions: without their unwind tables, and with each function in a
# section of its own for the linker to drop, the one-file installer stays small.
set(PRODUCT_CODE_OPTIONS -Wall -Wextra -fno-exceptions -fno-asynchronous-unwind-tables -fno-unwind-tables
                         -ffunction-sections -fdata-sections)
target_compile_options(flashdeck_portable PRIVATE ${PRODUCT_CODE_OPTIONS})

set(STATIC_LINK -static -static-libgcc -static-libstdc++)
# No link time in the PE header: the same sources give the same executable on every build.
add_link_options(-Wl,--no-insert-timestamp)
# Only DLLs that Windows always takes from the System folder; WinINet, the common controls and
# GDI+ are loaded by full path at run time (src/system/system_functions_win.h).
set(INSTALLER_LIBS ole32 uuid shell32 advapi32 user32 kernel32)

# --- The 7-Zip console extractor, taken from the npm package into the build tree. Its bytes are
#     pinned: a changed file in the registry fails the build instead of entering the installer.
set(SEVENZIP_SHA256_ia32 31fd52f8996986623cf52c3b4d0f7ac74a9dec63fc16c902cef673eed550c435)
set(SEVENZIP_SHA256_x64 b0cfdeaf429f5cc53f85123dd8f5a5feb92c19d31aa34df257edf9a26be05f95)
# A release build starts from an empty build folder and keeps the download beside it.
set(FLASHDECK_THIRD_PARTY_DIR ${CMAKE_BINARY_DIR}/third_party CACHE PATH "Where fetched third-party files are kept")
set(SEVENZIP_DIR ${FLASHDECK_THIRD_PARTY_DIR}/7zip-bin)
set(SEVENZIP_EXE_DIR ${SEVENZIP_DIR}/package/win/${FLASHDECK_EXTRACTOR_ARCH})
set(SEVENZIP_EXE ${SEVENZIP_EXE_DIR}/7za.exe)
if(NOT EXISTS ${SEVENZIP_EXE})
  message(STATUS "Fetching 7zip-bin@5.2.0 from the npm registry")
  file(MAKE_DIRECTORY ${SEVENZIP_DIR})
  execute_process(COMMAND npm pack 7zip-bin@5.2.0 --silent --pack-destination ${SEVENZIP_DIR}
                  WORKING_DIRECTORY ${SEVENZIP_DIR} RESULT_VARIABLE npm_result)
  if(NOT npm_result EQUAL 0)
    message(FATAL_ERROR "npm pack 7zip-bin@5.2.0 failed")
  endif()
  execute_process(COMMAND tar -xzf ${SEVENZIP_DIR}/7zip-bin-5.2.0.tgz package/win/${FLASHDECK_EXTRACTOR_ARCH}/7za.exe
                          package/LICENSE.txt
                  WORKING_DIRECTORY ${SEVENZIP_DIR} RESULT_VARIABLE tar_result)
  if(NOT tar_result EQUAL 0 OR NOT EXISTS ${SEVENZIP_EXE})
    message(FATAL_ERROR "win/${FLASHDECK_EXTRACTOR_ARCH}/7za.exe not found in the 7zip-bin package")
  endif()
endif()
file(SHA256 ${SEVENZIP_EXE} SEVENZIP_ACTUAL_SHA256)
if(NOT SEVENZIP_ACTUAL_SHA256 STREQUAL SEVENZIP_SHA256_${FLASHDECK_EXTRACTOR_ARCH})
  message(FATAL_ERROR "${SEVENZIP_EXE} has SHA-256 ${SEVENZIP_ACTUAL_SHA256}, "
                      "expected ${SEVENZIP_SHA256_${FLASHDECK_EXTRACTOR_ARCH}} (7zip-bin@5.2.0, 7-Zip 21.07); "
                      "delete ${SEVENZIP_DIR} to fetch it again")
endif()

# --- The text table: UTF-8 sources turned into the UTF-16LE resource.
file(GLOB TEXT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/texts/*.txt)
set(TEXT_TABLE ${CMAKE_BINARY_DIR}/generated/texts.bin)
add_custom_command(
  OUTPUT ${TEXT_TABLE}
  COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tools/build_text_table.py ${CMAKE_SOURCE_DIR}/resources/texts ${TEXT_TABLE}
  DEPENDS ${TEXT_SOURCES} ${CMAKE_SOURCE_DIR}/tools/build_text_table.py
  COMMENT "Building the text table resource")
add_custom_target(text_table DEPENDS ${TEXT_TABLE})

# --- The release-signing key: the vendor's PEM private key named by FLASHDECK_SIGNING_KEY, or a
#     development key made once under the build folder. The installer carries its public half.
if(NOT "$ENV{FLASHDECK_SIGNING_KEY}" STREQUAL "")
  set(SIGNING_KEY $ENV{FLASHDECK_SIGNING_KEY})
else()
  set(SIGNING_KEY ${CMAKE_BINARY_DIR}/signing/private.pem)
  if(NOT EXISTS ${SIGNING_KEY})
    message(STATUS "Generating a development signing key in ${CMAKE_BINARY_DIR}/signing")
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/signing)
    execute_process(COMMAND openssl ecparam -name prime256v1 -genkey -noout -out ${SIGNING_KEY}
                    RESULT_VARIABLE key_result)
    if(NOT key_result EQUAL 0)
      message(FATAL_ERROR "openssl could not generate the development signing key")
    endif()
  endif()
endif()
# The release tools and the tests sign with the key this build trusts.
file(WRITE ${CMAKE_BINARY_DIR}/signing/key-path.txt "${SIGNING_KEY}\n")
set(SIGNING_PUBLIC_KEY ${CMAKE_BINARY_DIR}/generated/signing_key.bin)
add_custom_command(
  OUTPUT ${SIGNING_PUBLIC_KEY}
  COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tools/signing_key.py ${SIGNING_KEY} ${SIGNING_PUBLIC_KEY}
  DEPENDS ${SIGNING_KEY} ${CMAKE_SOURCE_DIR}/tools/signing_key.py
  COMMENT "Taking the public half of the signing key")

set(RESOURCE_OBJ ${CMAKE_BINARY_DIR}/generated/installer_res.o)
add_custom_command(
  OUTPUT ${RESOURCE_OBJ}
  COMMAND ${CMAKE_RC_COMPILER} -O coff
          -I ${CMAKE_SOURCE_DIR}/resources -I ${CMAKE_SOURCE_DIR}/src -I ${CMAKE_BINARY_DIR}/generated
          -I ${SEVENZIP_EXE_DIR}
          ${CMAKE_SOURCE_DIR}/resources/installer.rc ${RESOURCE_OBJ}
  DEPENDS ${CMAKE_SOURCE_DIR}/resources/installer.rc ${CMAKE_SOURCE_DIR}/src/common/resource_ids.h
          ${CMAKE_SOURCE_DIR}/resources/installer.manifest
          ${CMAKE_SOURCE_DIR}/resources/installer.ico ${CMAKE_SOURCE_DIR}/resources/logo.png
          ${TEXT_TABLE} ${SEVENZIP_EXE} ${SIGNING_PUBLIC_KEY}
  COMMENT "Compiling the installer resources")

# --- Windows layer shared by the installer and the Windows tests.
list(FILTER WIN32_SOURCES EXCLUDE REGEX "/startup/main_win\\.cpp$")
add_library(flashdeck_win32 STATIC ${WIN32_SOURCES})
target_link_libraries(flashdeck_win32 PUBLIC flashdeck_portable ${INSTALLER_LIBS})
target_compile_options(flashdeck_win32 PRIVATE ${PRODUCT_CODE_OPTIONS})

add_executable(installer WIN32 ${CMAKE_SOURCE_DIR}/src/startup/main_win.cpp ${RESOURCE_OBJ})
set_target_properties(installer PROPERTIES OUTPUT_NAME LumidexFlashdeckSetup)
target_link_libraries(installer PRIVATE flashdeck_win32)
target_link_options(installer PRIVATE -municode ${STATIC_LINK} -Wl,--gc-sections -s)
target_compile_options(installer PRIVATE ${PRODUCT_CODE_OPTIONS})

# --- Helper programs under tools/ (UI driver, CA trust, stand-in application ...).
file(GLOB TOOL_DIRS LIST_DIRECTORIES true ${CMAKE_SOURCE_DIR}/tools/*)
foreach(dir ${TOOL_DIRS})
  if(IS_DIRECTORY ${dir} AND EXISTS ${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()

# --- Windows tests (GoogleTest built with MinGW, run under Wine).
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

set(WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(WINE_ENV WINEPREFIX=${WINE_PREFIX} WINEDEBUG=-all WINEDLLOVERRIDES=winemenubuilder.exe=
             FLASHDECK_WINE=${FLASHDECK_WINE_LOADER})
add_test(NAME wine_prefix COMMAND ${CMAKE_SOURCE_DIR}/scripts/make-wine-prefix.sh ${WINE_PREFIX})
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 600 ENVIRONMENT "${WINE_ENV}")

file(GLOB UNIT_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
add_executable(unit_tests_win ${UNIT_TEST_SOURCES})
target_link_libraries(unit_tests_win PRIVATE flashdeck_portable gtest gtest_main)
target_link_options(unit_tests_win PRIVATE ${STATIC_LINK})
target_compile_definitions(unit_tests_win PRIVATE FLASHDECK_SOURCE_DIR="Z:${CMAKE_SOURCE_DIR}")
add_test(NAME windows_unit_tests COMMAND ${FLASHDECK_WINE_LOADER} $<TARGET_FILE:unit_tests_win>)

file(GLOB WINDOWS_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/windows/*.cpp)
if(WINDOWS_TEST_SOURCES)
  add_executable(windows_tests ${WINDOWS_TEST_SOURCES} ${RESOURCE_OBJ})
  target_link_libraries(windows_tests PRIVATE flashdeck_win32 gtest ntdll)
  target_link_options(windows_tests PRIVATE -municode ${STATIC_LINK})
  target_include_directories(windows_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/windows)
  # The resource checks read the shipped 32-bit installer also when this is the 64-bit test build.
  set(FLASHDECK_CHECKED_INSTALLER "$<TARGET_FILE:installer>" CACHE STRING "Installer whose resources the tests check")
  target_compile_definitions(windows_tests PRIVATE INSTALLER_EXE="${FLASHDECK_CHECKED_INSTALLER}")
  add_dependencies(windows_tests installer)
  if(TARGET process_sleeper)
    add_dependencies(windows_tests process_sleeper)
  endif()
  add_test(NAME windows_system_tests COMMAND ${CMAKE_SOURCE_DIR}/tools/run_with_fault_server.sh ${FLASHDECK_WINE_LOADER} $<TARGET_FILE:windows_tests>)
endif()

foreach(t windows_unit_tests windows_system_tests)
  if(TEST ${t})
    set_tests_properties(${t} PROPERTIES FIXTURES_REQUIRED wine ENVIRONMENT "${WINE_ENV}" TIMEOUT 600 RESOURCE_LOCK wine)
  endif()
endforeach()

# --- The gallery: the fit check (in windows_system_tests) draws every page in every language into
#     gallery/tiles beside the test program, from a clean folder; gallery_sheets composes them into
#     gallery/<page>.png, one contact sheet per page, and fails when a tile is missing.
if(TEST windows_system_tests)
  set(GALLERY_DIR ${CMAKE_BINARY_DIR}/gallery)
  add_test(NAME gallery_tiles_cleared COMMAND ${CMAKE_COMMAND} -E rm -rf ${GALLERY_DIR}/tiles ${GALLERY_DIR}/tiles-120dpi
                                                  ${GALLERY_DIR}/tiles-144dpi ${GALLERY_DIR}/tiles-192dpi)
  set_tests_properties(gallery_tiles_cleared PROPERTIES FIXTURES_SETUP gallery_cleared)
  set_tests_properties(windows_system_tests PROPERTIES FIXTURES_REQUIRED "wine;gallery_cleared"
                                                       FIXTURES_SETUP gallery_tiles)
  add_test(NAME gallery_sheets
           COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tools/compose_gallery.py ${GALLERY_DIR}/tiles ${GALLERY_DIR}
                   ${CMAKE_SOURCE_DIR}/resources/texts)
  set_tests_properties(gallery_sheets PROPERTIES FIXTURES_REQUIRED gallery_tiles TIMEOUT 300)

  # The fit check again at 125, 150 and 200 % (LogPixels in the prefix); its tiles of 150 % give
  # the gallery's sheet of the install offer at that scale.
  foreach(dpi 120 144 192)
    add_test(NAME text_fit_dpi_${dpi}
             COMMAND ${CMAKE_SOURCE_DIR}/tools/run_at_dpi.sh ${dpi} ${GALLERY_DIR}/tiles-${dpi}dpi
                     ${FLASHDECK_WINE_LOADER} $<TARGET_FILE:windows_tests> --gtest_filter=*TextFit*)
    set_tests_properties(text_fit_dpi_${dpi} PROPERTIES FIXTURES_REQUIRED "wine;gallery_cleared" ENVIRONMENT
                         "${WINE_ENV}" TIMEOUT 600 RESOURCE_LOCK wine)
  endforeach()
  set_tests_properties(text_fit_dpi_144 PROPERTIES FIXTURES_SETUP gallery_tiles_150)
  add_test(NAME gallery_sheet_150
           COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tools/compose_gallery.py ${GALLERY_DIR}/tiles-144dpi
                   ${GALLERY_DIR}/150-percent ${CMAKE_SOURCE_DIR}/resources/texts --pages install-offer --scale 150)
  set_tests_properties(gallery_sheet_150 PROPERTIES FIXTURES_REQUIRED gallery_tiles_150 TIMEOUT 300)
endif()
