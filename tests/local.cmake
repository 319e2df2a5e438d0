dx_add_test_dir(IFC IfcModel)
dx_add_test_dir(StepFile StepFile)
