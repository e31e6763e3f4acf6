// The visual components are added here.
