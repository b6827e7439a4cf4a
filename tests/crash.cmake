# Crash safety: the real launcher killed hard around the unpacking of a Repair (fixed
# seed, bounded counts), and what it leaves on disk checked. It needs the stand-in
# service (defined in service.cmake) and a display.
hollowmere_test_group(crash_tests crash FIXTURES_REQUIRED hollowmere_service)
