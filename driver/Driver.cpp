// Placeholder until the driver lands.
