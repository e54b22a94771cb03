# Run by CTest: see CMakeLists.txt beside this file.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
file(GLOB_RECURSE config ${prefix}/*/OmbraConfig.cmake)
file(GLOB_RECURSE pc ${prefix}/*/ombra.pc)
if(NOT config OR NOT pc)
  message(FATAL_ERROR "the installation lacks OmbraConfig.cmake or ombra.pc")
endif()
get_filename_component(libdir ${pc} DIRECTORY)
get_filename_component(libdir ${libdir} DIRECTORY)

# Through find_package.
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR}/project -B ${WORK_DIR}/cmake-build -G ${GENERATOR}
    -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-build)
run(${WORK_DIR}/cmake-build/consumer ${libdir}/ombra/plugins ${SAMPLE})

# Through pkg-config, read by hand so that the test needs no pkg-config program.
file(STRINGS ${pc} lines)
set(vars "")
foreach(line ${lines})
  if(line MATCHES "^([a-z]+)=(.*)$")
    set(pc_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
  elseif(line MATCHES "^(Libs|Cflags): (.*)$")
    set(pc_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
  endif()
endforeach()
get_filename_component(pc_pcfiledir ${pc} DIRECTORY)
foreach(name prefix libdir includedir plugindir Libs Cflags)
  foreach(var pcfiledir prefix libdir includedir)
    string(REPLACE "\${${var}}" "${pc_${var}}" pc_${name} "${pc_${name}}")
  endforeach()
endforeach()
separate_arguments(cflags UNIX_COMMAND "${pc_Cflags}")
separate_arguments(libs UNIX_COMMAND "${pc_Libs}")
run(${CXX} -std=c++20 ${cflags} ${CONSUMER_DIR}/consumer.cpp -o ${WORK_DIR}/pc-consumer ${libs} -Wl,-rpath,${pc_libdir})
run(${WORK_DIR}/pc-consumer ${pc_plugindir} ${SAMPLE})

# The installed program finds its plug-ins by itself, and its man page and
# bash completion are there.
foreach(file share/man/man1/ombra.1 share/bash-completion/completions/ombra)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "the installation lacks ${file}")
  endif()
endforeach()
run(${prefix}/bin/ombra convert ${SAMPLE} -o - -q)
if(NOT last_output MATCHES "The Ombra Gazette")
  message(FATAL_ERROR "the installed ombra program did not convert the sample:\n${last_output}")
endif()

# The installed Python package imports from the prefix's packages folder
# and finds the core and the plug-ins by itself.
if(PYTHON AND PYTHON_DIR)
  set(ENV{PYTHONPATH} ${prefix}/${PYTHON_DIR})
  run(${PYTHON} -c "import ombra, sys\nsys.stdout.write(ombra.convert(sys.argv[1]))" ${SAMPLE})
  if(NOT last_output MATCHES "The Ombra Gazette")
    message(FATAL_ERROR "the installed Python package did not convert the sample:\n${last_output}")
  endif()
endif()
