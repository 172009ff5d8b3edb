# pw_read_update_public_key(<path> <out-var>)
#
# Reads the Ed25519 public key that update information files must be signed with, as
# "openssl pkey -pubout" writes it, and sets <out-var> to the key as one clean PEM block. Stops
# the configure with a message saying what is wrong when <path> is no such file: a program
# built with a key it cannot use would refuse every update it is ever offered.
#
# Script mode, to check a key file by hand: cmake -DKEY=<path> -P cmake/UpdatePublicKey.cmake
# prints the PEM that would be built in.
function(pw_read_update_public_key path out)
  set(what "PAGEWARDEN_UPDATE_PUBKEY (${path})")
  if(NOT EXISTS "${path}" OR IS_DIRECTORY "${path}")
    message(FATAL_ERROR "${what}: no such file. Give the public key file that "
                        "'scripts/sign-update.sh keygen' wrote, or leave the variable empty.")
  endif()
  file(SIZE "${path}" size)
  if(size GREATER 4096)
    message(FATAL_ERROR "${what}: ${size} bytes is far too long for an Ed25519 public key.")
  endif()
  file(READ "${path}" text)
  if(text MATCHES "PRIVATE KEY")
    # Built in, a private key would hand anyone with the program the power to sign updates.
    message(FATAL_ERROR "${what}: this is a private key. Give the public one "
                        "(openssl pkey -in PRIVATE.pem -pubout -out PUBLIC.pem).")
  endif()
  if(NOT text MATCHES "-----BEGIN PUBLIC KEY-----(.*)-----END PUBLIC KEY-----")
    message(FATAL_ERROR "${what}: not a PEM public key (no BEGIN PUBLIC KEY ... END PUBLIC KEY "
                        "block).")
  endif()
  string(REGEX REPLACE "[ \t\r\n]" "" body "${CMAKE_MATCH_1}")
  # The 44 bytes of an Ed25519 SubjectPublicKeyInfo: a fixed 12-byte header (which base64
  # writes as MCowBQYDK2VwAyEA) and the 32-byte key.
  if(NOT body MATCHES "^MCowBQYDK2VwAyEA[A-Za-z0-9+/]+=$")
    message(FATAL_ERROR "${what}: a public key, but not an Ed25519 one. Make the key pair with "
                        "'scripts/sign-update.sh keygen'.")
  endif()
  string(LENGTH "${body}" length)
  if(NOT length EQUAL 60)
    message(FATAL_ERROR "${what}: the key is damaged (${length} base64 characters, not 60).")
  endif()
  set(${out} "-----BEGIN PUBLIC KEY-----\n${body}\n-----END PUBLIC KEY-----\n" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  if(NOT DEFINED KEY)
    message(FATAL_ERROR "usage: cmake -DKEY=<public key PEM> -P ${CMAKE_CURRENT_LIST_FILE}")
  endif()
  pw_read_update_public_key("${KEY}" pem)
  # To standard output, where a caller can read it (message() writes to standard error).
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo_append "${pem}")
endif()
