# Files whose SHA-256 comes from sha256sum, for the digest tests.
set(HOLLOWMERE_DIGEST_FILES ${CMAKE_BINARY_DIR}/test-data/digests)
add_custom_command(OUTPUT ${HOLLOWMERE_DIGEST_FILES}/digests.txt
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/support/make_digest_files.sh ${HOLLOWMERE_DIGEST_FILES}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/support/make_digest_files.sh)
add_custom_target(digest_files ALL DEPENDS ${HOLLOWMERE_DIGEST_FILES}/digests.txt)

# A partial download file that stands for a full disk: Linux's /dev/full takes writes
# into a stream's buffer and refuses them when the stream is flushed at its close.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/test-data/full-disk)
file(CREATE_LINK /dev/full ${CMAKE_BINARY_DIR}/test-data/full-disk/client.zip.download SYMBOLIC)
