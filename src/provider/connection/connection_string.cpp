// Placeholder until the connection-string reader lands.
