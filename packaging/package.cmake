# CPack: the Debian package.
