# Warning flags for the project's own targets (not for the SDK's).
set(HUSHKIT_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
